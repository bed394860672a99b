// Message boxes and the file and folder choosers.
#pragma once

#include <string>
#include <string_view>

namespace tav {

enum class MsgButtons { Ok, YesNo };
enum class MsgIcon { None, Question, Information };
enum class MsgAnswer { Ok, Yes, No };

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual MsgAnswer message_box(std::string_view text, std::string_view title, MsgButtons buttons,
                                MsgIcon icon) = 0;
  // The chosen file's path, or the empty text when cancelled. The filter is
  // "caption|patterns|caption|patterns..." with patterns separated by ";".
  virtual std::string open_file(std::string_view filter, std::string_view title) = 0;
  // The chosen folder's path, or the empty text when cancelled.
  virtual std::string choose_folder(std::string_view initial_folder, std::string_view prompt) = 0;
};

}  // namespace tav
