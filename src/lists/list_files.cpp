#include "lists/list_files.h"

#include <optional>

#include "base/text.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/text_file.h"

namespace tav {

namespace {

constexpr std::string_view kCrLf = "\r\n";

bool is_record(std::string_view line) { return contains(line, "|"); }

bool key_matches(const std::string& line, bool history, const std::string& key_value) {
  const std::vector<std::string> f = split(line, "|");
  if (history) {
    const auto id = parse_int32(field(f, 0));
    return id && to_text(*id) == key_value;
  }
  return field(f, 1) == key_value;
}

// A field of a record: a line end inside it would tear the record in two.
std::string one_line(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}

// A name or label field: the pages and the list commands read it through
// urlUnescape, so a "|" in it is written as its escape and reads back as
// "|" without splitting the record.
std::string name_field(std::string_view text) { return replace_all(one_line(text), "|", "%7C"); }

// A local film's name is a file name, the user's own text and never
// escaped: its "%" is written as its escape too, so that "100%41.mp4" reads
// back as itself and not as "100A.mp4".
std::string file_name_field(std::string_view text) {
  return name_field(replace_all(text, "%", "%25"));
}

// A local film's path as date_f.dat gives it back, the form its record is
// matched in. A byte kept from the code page (U+DC80..U+DCFF) that would
// pair with the byte after it in the record (the "|" after the path, say)
// is stored as "?"; matched as given, such a path would never find its own
// record again.
std::string stored_path(const CodePage& code_page, std::string_view path) {
  auto byte = [&path](std::size_t i) { return static_cast<unsigned char>(path[i]); };
  constexpr std::size_t kKept = 3;   // the three bytes of U+DC80..U+DCFF
  constexpr std::size_t kAfter = 8;  // at least the next whole character
  std::string out;
  out.reserve(path.size());
  std::size_t i = 0;
  while (i < path.size()) {
    if (i + kKept > path.size() || byte(i) != 0xED || (byte(i + 1) & 0xFE) != 0xB2 ||
        (byte(i + 2) & 0xC0) != 0x80) {
      out += path[i++];
      continue;
    }
    std::string here(path.substr(i, kKept + kAfter));
    if (i + kKept + kAfter >= path.size()) here += '|';
    if (code_page.from_utf8(here)[0] == '?') {
      out += '?';
    } else {
      out.append(path.substr(i, kKept));
    }
    i += kKept;
  }
  return out;
}

void drop_one_crlf(std::string& text) {
  if (ends_with(text, kCrLf)) text.resize(text.size() - kCrLf.size());
}

}  // namespace

std::string stored_local_path(const CodePage& code_page, std::string_view path) {
  return stored_path(code_page, one_line(path));
}

ListFiles::ListFiles(Files& files, const CodePage& code_page, std::string app_folder,
                     ListPageView* view)
    : files_(files), code_page_(code_page), app_folder_(std::move(app_folder)), view_(view) {}

std::string ListFiles::path_of(std::string_view name) const { return join_path(app_folder_, name); }

bool ListFiles::write(std::string_view list_file, std::string_view text) {
  return write_text_file(files_, code_page_, path_of(list_file), text);
}

void ListFiles::add_record(std::string_view list_file, Key key, const std::string& record,
                           const std::string& key_value) {
  const auto content = read_text_file(files_, code_page_, path_of(list_file));
  if (!content) return;
  std::vector<std::string> lines = split_lines(*content);
  if (lines.size() > kListKeptLines) lines.resize(kListKeptLines);
  std::string kept;
  for (const std::string& line : lines) {
    if (!is_record(line) || key_matches(line, key == Key::History, key_value)) continue;
    kept += line;
    kept += kCrLf;
  }
  drop_one_crlf(kept);
  if (!write(list_file, record + std::string(kCrLf) + kept + std::string(kCrLf))) return;
  render_list_page(list_file);
}

void ListFiles::add_history(std::int32_t id, std::string_view name, std::string_view label,
                            std::string_view address, std::int32_t v, std::int32_t v1,
                            std::int32_t position) {
  // The play address is read through urlUnescape as well (it is stored
  // escaped), so a raw "|" in it, as a page's play link may carry, is
  // written as its escape too.
  std::string record = to_text(id) + "|" + name_field(name) + "|" + name_field(label) + "|" +
                       name_field(address);
  for (const std::int32_t n : {v, v1, position}) record += "|" + to_text(n);
  add_record(kHistoryList, Key::History, record, to_text(id));
}

void ListFiles::add_local_film(std::string_view name, std::string_view path,
                               std::int32_t position) {
  const std::string key = stored_local_path(code_page_, path);
  const std::string record = file_name_field(name) + "|" + key + "|" + to_text(position);
  add_record(kLocalList, Key::Local, record, key);
}

void ListFiles::set_position(std::string_view list_file, Key key, const std::string& key_value,
                             std::int32_t position) {
  const auto content = read_text_file(files_, code_page_, path_of(list_file));
  if (!content) return;
  std::string text;
  for (const std::string& line : split_lines(*content)) {
    if (!is_record(line)) continue;
    std::string out = line;
    if (key_matches(line, key == Key::History, key_value)) {
      const std::vector<std::string> f = split(line, "|");
      if (key == Key::History && f.size() >= 6) {
        out = key_value;
        for (std::size_t i = 1; i <= 5; ++i) out += "|" + f[i];
        out += "|" + to_text(position);
      } else if (key == Key::Local && f.size() >= 2) {
        out = f[0] + "|" + f[1] + "|" + to_text(position);
      }
    }
    text += out;
    text += kCrLf;
  }
  drop_one_crlf(text);
  write(list_file, text + std::string(kCrLf));
}

void ListFiles::set_history_position(std::int32_t id, std::int32_t position) {
  set_position(kHistoryList, Key::History, to_text(id), position);
}

void ListFiles::set_local_position(std::string_view path, std::int32_t position) {
  set_position(kLocalList, Key::Local, stored_local_path(code_page_, path), position);
}

void ListFiles::delete_list_line(std::string_view list_file, std::int32_t n) {
  const auto content = read_text_file(files_, code_page_, path_of(list_file));
  if (!content) return;
  std::string text;
  std::int32_t number = 0;
  for (const std::string& line : split_lines(*content)) {
    if (++number == n) continue;
    text += line;
    text += kCrLf;
  }
  drop_one_crlf(text);
  drop_one_crlf(text);
  if (!write(list_file, text + std::string(kCrLf))) return;
  render_list_page(list_file);
}

void ListFiles::clear_list(std::string_view list_file) {
  if (!files_.exists(path_of(list_file))) return;
  if (!write(list_file, kCrLf)) return;
  render_list_page(list_file);
}

void ListFiles::create_list(std::string_view list_file) {
  if (files_.exists(path_of(list_file))) return;
  write(list_file, kCrLf);
}

std::string text_between(std::string_view text, std::string_view start_marker,
                         std::string_view end_marker, int mode) {
  if (start_marker.empty() || end_marker.empty()) return {};
  const std::size_t a = text.find(start_marker);
  if (a == std::string_view::npos) return {};
  if (mode == 1) {
    const std::size_t b = text.find(end_marker, a);
    if (b == std::string_view::npos) return {};
    return std::string(text.substr(a, b + end_marker.size() - a));
  }
  if (mode == 2) {
    const std::size_t from = a + start_marker.size();
    const std::size_t b = text.find(end_marker, from);
    if (b == std::string_view::npos) return {};
    return std::string(text.substr(from, b - from));
  }
  return {};
}

std::string strip_extension(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  return std::string(name.substr(0, dot));
}

namespace {

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool wildcard_match(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*" || pattern == "*") return true;
  // Iterative matcher with backtracking on the last "*".
  std::size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || fold(pattern[p]) == fold(name[n]))) {
      ++p, ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool list_folder_files(const Files& files, std::string_view folder, std::string_view pattern,
                       std::vector<std::string>& names) {
  names.clear();
  std::string dir(folder);
  if (!ends_with_separator(dir)) dir += kPathSeparator;
  bool found = false;
  for (const FolderEntry& e : files.list(dir)) {
    if (e.directory || e.hidden || !wildcard_match(pattern, e.name)) continue;
    names.push_back(e.name);
    found = true;
  }
  return found;
}

}  // namespace tav
