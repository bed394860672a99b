#include "platform/posix/http_text.h"

#include <optional>

#include "base/text.h"
#include "platform/code_page.h"
#include "platform/posix/iconv_code_page.h"

namespace tav {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_space(s.back())) s.remove_suffix(1);
  return s;
}

// The charset for iconv of a label as browsers read it, or the label
// itself when it is none of the common aliases.
std::string iconv_name(const std::string& label) {
  static const struct {
    const char* label;
    const char* name;
  } kAliases[] = {
      {"utf-8", "UTF-8"},       {"utf8", "UTF-8"},         {"unicode-1-1-utf-8", "UTF-8"},
      {"gbk", "GBK"},           {"gb2312", "GBK"},         {"x-gbk", "GBK"},
      {"chinese", "GBK"},       {"csgb2312", "GBK"},       {"gb_2312", "GBK"},
      {"gb_2312-80", "GBK"},    {"iso-ir-58", "GBK"},      {"cp936", "GBK"},
      {"windows-936", "GBK"},   {"ms936", "GBK"},          {"gb18030", "GB18030"},
      {"big5", "BIG5"},         {"big5-hkscs", "BIG5-HKSCS"},
      {"us-ascii", "CP1252"},   {"ascii", "CP1252"},       {"iso-8859-1", "CP1252"},
      {"latin1", "CP1252"},     {"l1", "CP1252"},          {"windows-1252", "CP1252"},
      {"utf-16", "UTF-16LE"},   {"utf-16le", "UTF-16LE"},  {"utf-16be", "UTF-16BE"},
  };
  for (const auto& a : kAliases)
    if (label == a.label) return a.name;
  // Anything else goes to iconv only when it looks like a charset name.
  for (const char c : label)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
          c == '.' || c == ':'))
      return {};
  return label;
}

}  // namespace

std::string charset_of(std::string_view content_type) {
  std::size_t i = content_type.find(';');
  while (i != std::string_view::npos && i < content_type.size()) {
    ++i;  // past the ";"
    const std::size_t eq = content_type.find('=', i);
    const std::size_t semi = content_type.find(';', i);
    if (eq == std::string_view::npos) return {};
    if (semi != std::string_view::npos && semi < eq) {  // a parameter without a value
      i = semi;
      continue;
    }
    const std::string name = ascii_lower(trim(content_type.substr(i, eq - i)));
    std::size_t at = eq + 1;
    while (at < content_type.size() && is_space(content_type[at])) ++at;
    std::string value;
    if (at < content_type.size() && content_type[at] == '"') {  // a quoted string
      for (++at; at < content_type.size() && content_type[at] != '"'; ++at) {
        if (content_type[at] == '\\' && at + 1 < content_type.size()) ++at;
        value += content_type[at];
      }
      i = content_type.find(';', at);
    } else {
      const std::size_t end = content_type.find(';', at);
      value = std::string(trim(content_type.substr(at, end == std::string_view::npos
                                                           ? std::string_view::npos
                                                           : end - at)));
      i = end;
    }
    if (name == "charset") return ascii_lower(trim(value));
  }
  return {};
}

std::string decode_body(std::string_view body, std::string_view content_type,
                        const CodePage& code_page) {
  // A byte-order mark outranks the header, as in browsers.
  if (starts_with(body, "\xEF\xBB\xBF")) return well_formed_utf8(body.substr(3));
  if (starts_with(body, "\xFF\xFE") || starts_with(body, "\xFE\xFF")) {
    const char* order = body[0] == '\xFF' ? "UTF-16LE" : "UTF-16BE";
    return decode_charset(body.substr(2), order).value_or("");
  }

  const std::string name = iconv_name(charset_of(content_type));
  if (name == "UTF-8") return well_formed_utf8(body);
  if (!name.empty())
    if (std::optional<std::string> text = decode_charset(body, name)) return *text;

  const std::string as_utf8 = well_formed_utf8(body);
  if (as_utf8 == body) return as_utf8;
  // Bytes the code page cannot read are kept by to_utf8 for a file's sake;
  // a reply has no such bytes to give back.
  return well_formed_utf8(code_page.to_utf8(body));
}

}  // namespace tav
