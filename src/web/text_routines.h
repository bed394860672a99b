// Escaping of texts carried inside link-protocol addresses and list files,
// and the two routines that shorten names for display.
#pragma once

#include <string>
#include <string_view>

namespace tav {

class CodePage;

// Percent-escapes every UTF-16 code unit except letters, digits and
// "@*_+-./": "%XX" below 256 (NUL excepted), "%uXXXX" otherwise.
std::string urlEscape(std::string_view text);
// Undoes "%uXXXX" and "%XX" escapes (hex digits in either case); a "%" that
// starts no valid escape stays as it is. Inside the program a lone
// U+DC80..U+DCFF stands for a byte kept from a file (see CodePage); an escape
// cannot make one: such an escaped unit gives U+FFFD.
std::string urlUnescape(std::string_view text);
// The same two on UTF-16 code units, with no exception: every text of code
// units, lone surrogates too, survives urlUnescapeUnits(urlEscapeUnits(t)).
std::string urlEscapeUnits(std::u16string_view units);
std::u16string urlUnescapeUnits(std::u16string_view text);
// The part after the last backslash (on POSIX also after the last slash);
// empty when there is none.
std::string file_part(std::string_view text);
// The longest beginning of the text whose display width is at most limit,
// where a double-byte character of the code page counts 2 and any other 1.
std::string fit_width(const CodePage& code_page, std::string_view text, int limit);

}  // namespace tav
