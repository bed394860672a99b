#include "startup/settings.h"

#include <optional>
#include <vector>

#include "base/text.h"
#include "platform/code_page.h"
#include "platform/files.h"

namespace tav {

namespace {

// One line of the file: its text, and its bytes with what goes before the
// text (a byte-order mark) and the line end.
struct Line {
  std::string_view body;
  std::string_view raw;
  std::size_t lead = 0;
};

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The lines of the file. A UTF-8 byte-order mark at its start is no part of
// the first line's text (the Windows functions skip it) but stays in its
// raw bytes, so that a write keeps it.
std::vector<Line> lines_of(std::string_view bytes) {
  std::vector<Line> lines;
  std::size_t start = 0;
  const std::size_t bom = starts_with(bytes, kUtf8Bom) ? kUtf8Bom.size() : 0;
  while (start < bytes.size()) {
    std::size_t end = start;
    while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
    std::size_t next = end;
    if (next < bytes.size()) {
      next += (bytes[next] == '\r' && next + 1 < bytes.size() && bytes[next + 1] == '\n') ? 2 : 1;
    }
    const std::size_t text = start == 0 ? bom : 0;
    lines.push_back({bytes.substr(start + text, end - start - text),
                     bytes.substr(start, next - start), text});
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

}  // namespace

std::string read_setting(const SettingsFile& store, std::string_view path,
                         std::string_view section, std::string_view key,
                         std::string_view default_value) {
  const auto bytes = store.files.read(path, kMaxSettingsFileSize);
  if (!bytes) return std::string(default_value);
  const std::vector<Line> lines = lines_of(*bytes);
  const Location at = locate(lines, store.code_page.from_utf8(trim_spaces(section)),
                             store.code_page.from_utf8(trim_spaces(key)));
  if (!at.key) return std::string(default_value);
  std::string_view value = strip_quotes(key_line(lines[*at.key].body)->value);
  value = value.substr(0, value.find('\0'));  // the value ends at a NUL
  return store.code_page.to_utf8(cut_value(value, store.code_page));
}

bool write_setting(const SettingsFile& store, std::string_view path, std::string_view section,
                   std::string_view key, std::string_view value) {
  // Line ends go before the text is converted: the code page's check that
  // a kept byte does not pair with the byte after it must see the bytes
  // that end up after it.
  const std::string sec = store.code_page.from_utf8(one_line(trim_spaces(section)));
  const std::string k = store.code_page.from_utf8(one_line(trim_spaces(key)));
  const std::string v = store.code_page.from_utf8(one_line(value));
  std::string bytes;
  if (store.files.exists(path)) {
    auto old = store.files.read(path, kMaxSettingsFileSize);
    if (!old) return false;  // never replace what could not be read
    bytes = std::move(*old);
  }
  const std::vector<Line> lines = lines_of(bytes);
  const Location at = locate(lines, sec, k);

  // Every line but possibly the last ends with a line end; new lines that go
  // after the last one need one first.
  std::string out;
  out.reserve(bytes.size() + sec.size() + k.size() + v.size() + 8);
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
        const std::string_view eol = lines[i].raw.substr(lines[i].lead + lines[i].body.size());
        out.append(lines[i].raw.substr(0, lines[i].lead));
        out.append(key_line(lines[i].body)->key);
        out += "=" + v;
        out.append(eol.empty() ? std::string_view("\r\n") : eol);
      } else {
        out.append(lines[i].raw);
      }
    }
    if (!at.key && at.section_end == lines.size()) add_new(new_key);
  }
  return store.files.replace(path, out);
}

}  // namespace tav
