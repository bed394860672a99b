// Files' bytes as a script writes and reads them: hex dumps and escaped
// texts.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tav {
class CodePage;
}

namespace tav::sim {

// "5B 55 73" for the bytes 0x5B 0x55 0x73; "" for none.
std::string hex_dump(std::string_view bytes);
// The bytes of a hex dump; spaces and tabs between digits are allowed.
// Nothing when a character is not a hexadecimal digit or a byte is split.
std::optional<std::string> parse_hex(std::string_view hex);

// The bytes a script text stands for: the text in the code page, with the
// escapes \r \n \t \\ and \xHH (the byte HH itself, not converted). Any other
// escaped character stands for itself.
std::string script_bytes(std::string_view text, const CodePage& code_page);
// The script text of bytes, so that script_bytes gives them back: printable
// ASCII as it is, \r \n \t \\, characters of the code page in UTF-8 and
// every other byte as \xHH.
std::string escape_bytes(std::string_view bytes, const CodePage& code_page);

}  // namespace tav::sim
