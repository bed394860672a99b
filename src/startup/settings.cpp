#include "startup/settings.h"

#include <optional>
#include <vector>

#include "base/text.h"
#include "platform/code_page.h"
#include "platform/files.h"

namespace tav {

namespace {

// How the file's text is stored. As the Windows functions read it: a file
// that starts with a byte-order mark is Unicode (UTF-8, or UTF-16 in either
// byte order), any other file is in the code page.
enum class Encoding { CodePage, Utf8, Utf16Le, Utf16Be };

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

// The file as text: code-page bytes, or for a Unicode file UTF-8 (a lone
// surrogate of a UTF-16 file as its three bytes, so that it is written back
// as it was). The mark and an odd last byte of a UTF-16 file are no part
// of the text; a write puts them back around it.
struct FileText {
  Encoding encoding = Encoding::CodePage;
  std::string_view mark;
  std::string text;
  std::string tail;
};

FileText decode(std::string bytes) {
  FileText file;
  if (starts_with(bytes, kUtf8Bom)) {
    file.encoding = Encoding::Utf8;
    file.mark = kUtf8Bom;
    file.text = bytes.substr(kUtf8Bom.size());
    return file;
  }
  const bool le = starts_with(bytes, kUtf16LeBom);
  if (!le && !starts_with(bytes, kUtf16BeBom)) {
    file.text = std::move(bytes);
    return file;
  }
  file.encoding = le ? Encoding::Utf16Le : Encoding::Utf16Be;
  file.mark = le ? kUtf16LeBom : kUtf16BeBom;
  std::u16string units;
  units.reserve(bytes.size() / 2);
  std::size_t i = 2;
  for (; i + 1 < bytes.size(); i += 2) {
    const auto a = static_cast<unsigned char>(bytes[i]);
    const auto b = static_cast<unsigned char>(bytes[i + 1]);
    units += static_cast<char16_t>(le ? (b << 8) | a : (a << 8) | b);
  }
  file.text = utf16_to_utf8(units);
  file.tail = bytes.substr(i);
  return file;
}

std::string encode(const FileText& file, std::string_view text) {
  std::string bytes(file.mark);
  if (file.encoding == Encoding::Utf16Le || file.encoding == Encoding::Utf16Be) {
    const bool le = file.encoding == Encoding::Utf16Le;
    const std::u16string units = utf8_to_utf16(text);
    bytes.reserve(bytes.size() + units.size() * 2 + file.tail.size());
    for (const char16_t u : units) {
      const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
      bytes += le ? lo : hi;
      bytes += le ? hi : lo;
    }
  } else {
    bytes.append(text);
  }
  bytes += file.tail;
  return bytes;
}

// One line of the text: without and with its line end.
struct Line {
  std::string_view body;
  std::string_view raw;
};

std::vector<Line> lines_of(std::string_view text) {
  std::vector<Line> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = start;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    std::size_t next = end;
    if (next < text.size()) {
      next += (text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n') ? 2 : 1;
    }
    lines.push_back({text.substr(start, end - start), text.substr(start, next - start)});
    start = next;
  }
  return lines;
}

std::string_view trim_view(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The section name of a header line "[name]", or nothing. As the Windows
// profile functions read it: the name runs to the last "]" of the line.
std::optional<std::string_view> section_name(std::string_view body) {
  const std::string_view t = trim_view(body);
  if (t.empty() || t.front() != '[') return std::nullopt;
  const std::size_t close = t.rfind(']');
  if (close == std::string_view::npos) return std::nullopt;
  return trim_view(t.substr(1, close - 1));
}

struct KeyLine {
  std::string_view key;
  std::string_view value;
};

std::optional<KeyLine> key_line(std::string_view body) {
  const std::string_view t = trim_view(body);
  if (t.empty() || t.front() == ';' || t.front() == '[') return std::nullopt;
  const std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  const std::string_view name = trim_view(t.substr(0, eq));
  return KeyLine{name.substr(0, name.find('\0')), trim_view(t.substr(eq + 1))};  // a NUL ends the name
}

// Where a section and a key stand in the file.
struct Location {
  std::optional<std::size_t> section;  // index of the header line
  std::size_t section_end = 0;         // one past the section's last non-blank line
  std::optional<std::size_t> key;      // index of the key line
};

Location locate(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  Location at;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto name = section_name(lines[i].body);
    if (!name || !iequals_ascii(*name, section)) continue;
    at.section = i;
    at.section_end = i + 1;
    for (std::size_t j = i + 1; j < lines.size(); ++j) {
      if (section_name(lines[j].body)) break;
      if (!trim_view(lines[j].body).empty()) at.section_end = j + 1;
      if (at.key) continue;
      const auto kv = key_line(lines[j].body);
      if (kv && iequals_ascii(kv->key, key)) at.key = j;
    }
    break;  // the first matching section wins
  }
  return at;
}

std::string_view strip_quotes(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

// Cuts a value to the limit without splitting a two-byte character.
std::string_view cut_value(std::string_view v, const CodePage& cp) {
  if (v.size() <= kMaxSettingLength) return v;
  std::size_t i = 0;
  while (i < kMaxSettingLength) {
    const std::size_t n = cp.is_lead_byte(static_cast<unsigned char>(v[i])) ? 2 : 1;
    if (i + n > kMaxSettingLength) break;
    i += n;
  }
  return v.substr(0, i);
}

std::string one_line(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

// A name or value given by the caller, as the file holds it: in the code
// page, or for a Unicode file taken through the code page as the narrow
// Windows functions take it (a character the code page cannot hold is
// "?").
std::string to_file(const CodePage& cp, Encoding encoding, std::string_view utf8) {
  std::string bytes = cp.from_utf8(utf8);
  return encoding == Encoding::CodePage ? bytes : cp.to_utf8(bytes);
}

}  // namespace

std::string read_setting(const SettingsFile& store, std::string_view path,
                         std::string_view section, std::string_view key,
                         std::string_view default_value) {
  auto bytes = store.files.read(path, kMaxSettingsFileSize);
  if (!bytes) return std::string(default_value);
  const CodePage& cp = store.code_page;
  const FileText file = decode(std::move(*bytes));
  const std::vector<Line> lines = lines_of(file.text);
  const Location at = locate(lines, to_file(cp, file.encoding, trim_spaces(section)),
                             to_file(cp, file.encoding, trim_spaces(key)));
  if (!at.key) return std::string(default_value);
  std::string_view value = strip_quotes(key_line(lines[*at.key].body)->value);
  value = value.substr(0, value.find('\0'));  // the value ends at a NUL
  if (file.encoding == Encoding::CodePage) return cp.to_utf8(cut_value(value, cp));
  const std::string ansi = cp.from_utf8(value);
  return cp.to_utf8(cut_value(ansi, cp));
}

bool write_setting(const SettingsFile& store, std::string_view path, std::string_view section,
                   std::string_view key, std::string_view value) {
  std::string bytes;
  if (store.files.exists(path)) {
    auto old = store.files.read(path, kMaxSettingsFileSize);
    if (!old) return false;  // never replace what could not be read
    bytes = std::move(*old);
  }
  const FileText file = decode(std::move(bytes));
  // Line ends go before the text is converted: the code page's check that
  // a kept byte does not pair with the byte after it must see the bytes
  // that end up after it.
  const CodePage& cp = store.code_page;
  const std::string sec = to_file(cp, file.encoding, one_line(trim_spaces(section)));
  const std::string k = to_file(cp, file.encoding, one_line(trim_spaces(key)));
  const std::string v = to_file(cp, file.encoding, one_line(value));
  const std::vector<Line> lines = lines_of(file.text);
  const Location at = locate(lines, sec, k);

  // Every line but possibly the last ends with a line end; new lines that go
  // after the last one need one first.
  std::string out;
  out.reserve(file.text.size() + sec.size() + k.size() + v.size() + 8);
  auto add_new = [&out](std::string_view text) {
    if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += "\r\n";
    out.append(text);
  };
  const std::string new_key = k + "=" + v + "\r\n";
  if (!at.section) {
    for (const Line& line : lines) out.append(line.raw);
    add_new("[" + sec + "]\r\n" + new_key);
  } else {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (!at.key && i == at.section_end) add_new(new_key);
      if (at.key && i == *at.key) {
        const std::string_view eol = lines[i].raw.substr(lines[i].body.size());
        out.append(key_line(lines[i].body)->key);
        out += "=" + v;
        out.append(eol.empty() ? std::string_view("\r\n") : eol);
      } else {
        out.append(lines[i].raw);
      }
    }
    if (!at.key && at.section_end == lines.size()) add_new(new_key);
  }
  return store.files.replace(path, encode(file, out));
}

}  // namespace tav
