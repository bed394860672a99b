// Small text helpers shared by every part of the program.
//
// Text is UTF-8 everywhere inside the program. The helpers here are plain
// substring operations on bytes, which is what the program's own parsing
// (splits on "|", "$", "&&&", "-") needs, plus the conversions to and from
// UTF-16 code units for the routines that count or escape code units.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tav {

// UTF-8 <-> UTF-16. Invalid UTF-8 bytes decode to U+FFFD. Lone surrogates
// survive a round trip: they are encoded as three-byte sequences (WTF-8),
// and such sequences decode back to the same code unit.
std::u16string utf8_to_utf16(std::string_view text);
std::string utf16_to_utf8(std::u16string_view text);

// The text as well-formed UTF-8: invalid bytes and surrogates (lone or
// paired, as WTF-8 writes them) become U+FFFD.
std::string well_formed_utf8(std::string_view text);

// Code points of a UTF-8 text (invalid bytes give U+FFFD, one per byte).
std::vector<char32_t> utf8_code_points(std::string_view text);
std::string utf8_from_code_point(char32_t cp);

// Splits on every occurrence of a non-empty separator. An empty text gives
// one empty field; a missing separator gives the whole text.
std::vector<std::string> split(std::string_view text, std::string_view sep);
// Field i of a split, or the empty text when the split has fewer fields.
std::string field(const std::vector<std::string>& fields, std::size_t i);

std::string replace_all(std::string_view text, std::string_view from, std::string_view to);
bool contains(std::string_view text, std::string_view part);
bool starts_with(std::string_view text, std::string_view prefix);
bool ends_with(std::string_view text, std::string_view suffix);
// Removes leading and trailing spaces (spaces only, not tabs or line ends).
std::string trim_spaces(std::string_view text);
// Drops one trailing "/" if there is one.
std::string drop_trailing_slash(std::string_view text);

// A decimal number (as parse_number) converted to a whole number the way
// the classic conversion does: rounded to the nearest, halves to even
// ("14235.7" gives 14236, "2.5" gives 2). Nothing when the text is not a
// number or the rounded value is outside the 32-bit range.
std::optional<std::int32_t> parse_int32(std::string_view text);
// parse_int32, or 0 when the text is not such a number.
std::int32_t to_int32(std::string_view text);
// A decimal number, possibly with a fraction (" 1.5 ", "-2", "3.").
std::optional<double> parse_number(std::string_view text);

std::string to_text(long long value);

// The nearest whole number, halves to even (2.5 gives 2, 3.5 gives 4),
// whatever rounding mode the process is in.
double round_half_even(double value);

// The value, held to the 32-bit range.
std::int32_t clamp_int32(long long value);

// ASCII-only case folding and comparison, as the profile files need.
std::string ascii_lower(std::string_view text);
bool iequals_ascii(std::string_view a, std::string_view b);

}  // namespace tav

namespace tav {

// The lines of a text, as a line-by-line reader sees them: CR LF, a lone LF
// and a lone CR each end a line; a line end at the very end of the text
// starts no further line (so "" has no line and "\r\n" one empty line).
std::vector<std::string> split_lines(std::string_view text);

// A text as an XML attribute value holds it ("&", "\"", "<", ">" as
// entities), and back (the five named entities; anything else stays).
std::string xml_escape(std::string_view text);
std::string xml_unescape(std::string_view text);

}  // namespace tav
