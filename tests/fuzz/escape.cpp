// urlEscape / urlUnescape, fit_width and file_part on arbitrary input.
//
// Invariants:
// - the input read as UTF-16 code units (little-endian pairs, lone
//   surrogates included) comes back unit for unit from
//   urlUnescapeUnits(urlEscapeUnits(units)), and through urlEscape and
//   urlUnescape as WTF-8 text unless it holds a lone U+DC80..U+DCFF (a kept
//   byte, which an escape cannot make);
// - the input read as UTF-8, when it is valid, comes back byte for byte;
// - urlEscape writes only letters, digits, "@*_+-./" and "%XX" / "%uXXXX";
// - urlUnescape of the raw bytes neither crashes nor grows the text;
// - fit_width gives a beginning of the text (in code units) that fits the
//   limit; file_part a tail without separators.
#include <cstdint>
#include <string>

#include "base/text.h"
#include "fuzz_support.h"
#include "platform/posix/iconv_code_page.h"
#include "web/text_routines.h"

namespace {

bool escaped_char(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         c == '@' || c == '*' || c == '_' || c == '+' || c == '-' || c == '.' || c == '/' ||
         c == '%';
}

void check_escape_round_trip(const std::string& text, const char* what) {
  const std::string escaped = tav::urlEscape(text);
  for (const char c : escaped) FUZZ_CHECK(escaped_char(c), escaped);
  const std::string back = tav::urlUnescape(escaped);
  if (back != text) tav::fuzz::violated(what, text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  static const tav::IconvCodePage gbk;

  // UTF-16 code units, any of them.
  std::u16string units;
  for (std::size_t i = 0; i + 1 < size; i += 2)
    units += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  const std::string wtf8 = tav::utf16_to_utf8(units);
  FUZZ_CHECK(tav::utf8_to_utf16(wtf8) == units, wtf8);
  {
    const std::string escaped = tav::urlEscapeUnits(units);
    for (const char c : escaped) FUZZ_CHECK(escaped_char(c), escaped);
    if (tav::urlUnescapeUnits(tav::utf8_to_utf16(escaped)) != units)
      tav::fuzz::violated("UTF-16 text survives urlEscapeUnits and urlUnescapeUnits", wtf8);
    FUZZ_CHECK(tav::urlEscape(wtf8) == escaped, wtf8);
    bool kept_byte = false;
    for (std::size_t i = 0; i < units.size(); ++i) {
      const char16_t u = units[i];
      const bool after_high = i > 0 && units[i - 1] >= 0xD800 && units[i - 1] <= 0xDBFF;
      if (u >= 0xDC80 && u <= 0xDCFF && !after_high) kept_byte = true;
    }
    if (!kept_byte && tav::utf8_to_utf16(tav::urlUnescape(escaped)) != units)
      tav::fuzz::violated("UTF-16 text survives urlEscape and urlUnescape", wtf8);
  }

  // The bytes as UTF-8 text, when they are valid UTF-8 (no surrogates).
  bool valid = true;
  for (const char32_t cp : tav::utf8_code_points(bytes))
    if (cp == 0xFFFD || (cp >= 0xD800 && cp <= 0xDFFF)) valid = false;
  if (valid && tav::utf16_to_utf8(tav::utf8_to_utf16(bytes)) == bytes)
    check_escape_round_trip(bytes, "valid UTF-8 text survives urlEscape and urlUnescape");

  // Unescaping anything: never longer in code units than the input.
  const std::string unescaped = tav::urlUnescape(bytes);
  FUZZ_CHECK(tav::utf8_to_utf16(unescaped).size() <= tav::utf8_to_utf16(bytes).size(), bytes);

  // fit_width: a beginning that fits.
  const int limit = size > 0 ? static_cast<int>(data[0] % 64) : 0;
  const std::string fitted = tav::fit_width(gbk, bytes, limit);
  const std::u16string all = tav::utf8_to_utf16(bytes);
  const std::u16string part = tav::utf8_to_utf16(fitted);
  FUZZ_CHECK(all.compare(0, part.size(), part) == 0, bytes);
  if (part.size() < all.size()) {
    int width = 0;
    for (const char16_t u : part)
      width += (u >= 0xD800 && u <= 0xDFFF) ? 1 : (gbk.is_double_byte(u) ? 2 : 1);
    FUZZ_CHECK(width <= limit, bytes);
  }

  // file_part: the tail after the last separator.
  const std::string tail = tav::file_part(bytes);
  FUZZ_CHECK(tail.find('/') == std::string::npos && tail.find('\\') == std::string::npos, bytes);
  FUZZ_CHECK(tav::ends_with(bytes, tail), bytes);
  return 0;
}
