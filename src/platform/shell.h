// Starting programs and opening documents.
#pragma once

#include <string>
#include <string_view>

namespace tav {

// Window styles of a started program.
enum class WindowStyle { Hidden = 0, NormalFocus = 1, MinimizedFocus = 2, MaximizedFocus = 3 };

class Shell {
 public:
  virtual ~Shell() = default;
  // Opens an address or a document with the desktop's handler for the verb
  // ("Open"). Returns false when nothing could be started.
  virtual bool open(std::string_view target, std::string_view verb) = 0;
  // Starts a program, not awaited. The command line is the program (quoted
  // when it holds spaces) followed by its arguments. Returns false when the
  // program could not be started.
  virtual bool start(std::string_view command_line, WindowStyle style) = 0;
};

}  // namespace tav
