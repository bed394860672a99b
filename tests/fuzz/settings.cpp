// The settings store (config.ini): read, then write, on arbitrary bytes.
//
// Input: three lines — section, key, value — then the bytes of config.ini
// (with fewer than three line ends there is no file). Names are kept to
// what a profile file can hold: no control characters, no "=" in a key,
// no key that starts with ";" or "[".
//
// Invariants (those of the classic profile functions):
// - a read returns at most 254 bytes of the code page and no NUL;
// - the write touches one line at most: every other line of the file stays
//   byte for byte (the last line may gain a line end), and at most two lines
//   are added (a new section and its key);
// - the value reads back (exactly, for a value the code page holds without
//   loss and that has no spaces or quotes around it and fits 254 bytes;
//   cut at a NUL);
// - keys that were not written read as before;
// - a second identical write changes nothing.
#include <cstdint>
#include <string>

#include "base/text.h"
#include "fuzz_support.h"
#include "platform/posix/iconv_code_page.h"
#include "startup/settings.h"

namespace {

using tav::fuzz::MemoryFiles;

constexpr const char* kPath = "/app/config.ini";

std::string clean_name(std::string_view text, bool is_key) {
  std::string out;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) continue;
    if (is_key && c == '=') continue;
    out += c;
  }
  if (is_key) {
    const std::string t = tav::trim_spaces(out);
    if (!t.empty() && (t[0] == ';' || t[0] == '[')) out = "k" + t;
  }
  return out;
}

std::vector<std::string> lines_with_ends(std::string_view bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = start;
    while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
    if (end < bytes.size())
      end += (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ? 2 : 1;
    lines.emplace_back(bytes.substr(start, end - start));
    start = end;
  }
  return lines;
}

// New differs from old by one block: at most one old line replaced by at
// most two new ones.
bool one_block_changed(const std::vector<std::string>& old_lines,
                       const std::vector<std::string>& new_lines) {
  std::size_t p = 0;
  while (p < old_lines.size() && p < new_lines.size() && old_lines[p] == new_lines[p]) ++p;
  std::size_t s = 0;
  while (s < old_lines.size() - p && s < new_lines.size() - p &&
         old_lines[old_lines.size() - 1 - s] == new_lines[new_lines.size() - 1 - s])
    ++s;
  return old_lines.size() - p - s <= 1 && new_lines.size() - p - s <= 2;
}

// A value that reads back exactly: no spaces or quotes around it (as
// written, before a NUL cuts it), and up to a NUL held by the code page
// without loss in at most 254 bytes.
bool plain_value(const tav::CodePage& cp, const std::string& full) {
  const std::string v = full.substr(0, full.find('\0'));
  if (cp.to_utf8(cp.from_utf8(v)) != v) return false;
  if (cp.from_utf8(v).size() > tav::kMaxSettingLength) return false;
  for (const std::string& s : {full, v}) {
    if (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.back() == ' ' || s.back() == '\t'))
      return false;
  }
  if (full.size() >= 2 && (full.front() == '"' || full.front() == '\'') && full.back() == full.front())
    return false;
  return true;
}

void check_read(const tav::CodePage& cp, const std::string& value) {
  FUZZ_CHECK(cp.from_utf8(value).size() <= tav::kMaxSettingLength, value);
  FUZZ_CHECK(value.find('\0') == std::string::npos, value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const tav::IconvCodePage gbk;
  MemoryFiles files;
  const tav::SettingsFile store{files, gbk};

  const std::string_view in(reinterpret_cast<const char*>(data), size);
  std::string_view parts[3];
  std::size_t from = 0;
  bool has_file = true;
  for (auto& part : parts) {
    const std::size_t nl = in.find('\n', from);
    if (nl == std::string_view::npos) {
      part = in.substr(std::min(from, in.size()));
      from = in.size();
      has_file = false;
      break;
    }
    part = in.substr(from, nl - from);
    from = nl + 1;
  }
  const std::string section = clean_name(parts[0], false);
  const std::string key = clean_name(parts[1], true);
  std::string value;
  for (const char c : parts[2])
    if (c != '\r' && c != '\n') value += c;
  const std::string before_bytes(has_file ? in.substr(from) : std::string_view());
  if (has_file) files.files[kPath] = before_bytes;

  // Read first, on whatever the file holds.
  const std::string old_value = tav::read_setting(store, kPath, section, key, "0");
  check_read(gbk, old_value);
  struct Other {
    const char* section;
    const char* key;
    std::string before;
  } others[] = {{"S_q", "ts", {}}, {"main", "Name", {}}};
  for (Other& o : others) {
    o.before = tav::read_setting(store, kPath, o.section, o.key, "0");
    check_read(gbk, o.before);
  }

  if (!tav::write_setting(store, kPath, section, key, value)) return 0;
  const std::string after_bytes = files.files[kPath];

  // One block of lines changed, the rest byte for byte.
  {
    const std::vector<std::string> old_lines = lines_with_ends(before_bytes);
    const std::vector<std::string> new_lines = lines_with_ends(after_bytes);
    bool ok = one_block_changed(old_lines, new_lines);
    if (!ok && !old_lines.empty() && old_lines.back().back() != '\n' &&
        old_lines.back().back() != '\r') {
      std::vector<std::string> ended = old_lines;
      ended.back() += "\r\n";
      ok = one_block_changed(ended, new_lines);
    }
    if (!ok) tav::fuzz::violated("the write changes one block of lines only", after_bytes);
  }

  // The value reads back.
  const std::string got = tav::read_setting(store, kPath, section, key, "0");
  check_read(gbk, got);
  const std::string expected = value.substr(0, value.find('\0'));
  if (plain_value(gbk, value) && got != expected)
    tav::fuzz::violated("the written value reads back", got + " <> " + expected);

  // Other keys as before.
  for (const Other& o : others) {
    if (tav::iequals_ascii(tav::trim_spaces(section), o.section) &&
        tav::iequals_ascii(tav::trim_spaces(key), o.key))
      continue;
    const std::string now = tav::read_setting(store, kPath, o.section, o.key, "0");
    if (now != o.before) tav::fuzz::violated("a key that was not written reads as before", now);
  }

  // Writing the same again changes nothing.
  tav::write_setting(store, kPath, section, key, value);
  if (files.files[kPath] != after_bytes)
    tav::fuzz::violated("a second identical write changes nothing", files.files[kPath]);
  return 0;
}
