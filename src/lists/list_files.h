// The watch history (date.dat) and the local films (date_f.dat).
//
// One record a line, newest first, fields joined by "|", CR LF line ends, in
// the system's code page. Every operation reads the whole file and writes it
// whole again; the ones that change what the list page shows render the
// page anew and have the panel that shows it refreshed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tav {

class CodePage;
class Files;

inline constexpr std::string_view kHistoryList = "date.dat";
inline constexpr std::string_view kLocalList = "date_f.dat";
inline constexpr std::string_view kHistoryPage = "c.htm";
inline constexpr std::string_view kLocalPage = "f.htm";
// A list keeps its first 100 lines when a record is added on top.
inline constexpr std::size_t kListKeptLines = 100;

// Whoever shows the list pages: told when a page file was written anew.
class ListPageView {
 public:
  virtual ~ListPageView() = default;
  virtual void list_page_written(std::string_view list_file) = 0;
};

class ListFiles {
 public:
  ListFiles(Files& files, const CodePage& code_page, std::string app_folder,
            ListPageView* view = nullptr);

  void add_history(std::int32_t id, std::string_view name, std::string_view label,
                   std::string_view address, std::int32_t v, std::int32_t v1,
                   std::int32_t position);
  void set_history_position(std::int32_t id, std::int32_t position);
  void add_local_film(std::string_view name, std::string_view path, std::int32_t position);
  void set_local_position(std::string_view path, std::int32_t position);
  // Removes line n (counting every line from 1, records or not).
  void delete_list_line(std::string_view list_file, std::int32_t n);
  // Makes an existing list one empty line; a missing list stays missing.
  void clear_list(std::string_view list_file);
  // Writes a missing list as one empty line, without rendering its page.
  void create_list(std::string_view list_file);
  // Writes the page of date.dat or date_f.dat from the list's content.
  void render_list_page(std::string_view list_file);

  std::string path_of(std::string_view name) const;
  void set_view(ListPageView* view) { view_ = view; }

 private:
  enum class Key { History, Local };
  void add_record(std::string_view list_file, Key key, const std::string& record,
                  const std::string& key_value);
  void set_position(std::string_view list_file, Key key, const std::string& key_value,
                    std::int32_t position);
  bool write(std::string_view list_file, std::string_view text);

  Files& files_;
  const CodePage& code_page_;
  std::string app_folder_;
  ListPageView* view_;
};

// A local film's path as its record in date_f.dat holds it (one line, and
// a kept byte that would merge with the "|" after it stored as "?"): the
// form in which records are matched.
std::string stored_local_path(const CodePage& code_page, std::string_view path);

// Shared text and folder routines of the list commands and the settings dialog.

// Mode 1: from the first start marker up to and including the first end
// marker at or after it; mode 2: the text strictly between the first start
// marker and the first end marker after it; empty otherwise.
std::string text_between(std::string_view text, std::string_view start_marker,
                         std::string_view end_marker, int mode);
// The part of the name before its last "."; empty when it has none.
std::string strip_extension(std::string_view name);
// Names of the ordinary, not hidden files of the folder that match the
// wildcard pattern ("*" and "?"; "*.*" matches every name), in listing
// order. True when at least one was found.
bool list_folder_files(const Files& files, std::string_view folder, std::string_view pattern,
                       std::vector<std::string>& names);

}  // namespace tav
