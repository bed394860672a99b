// Whole text files in the system's code page.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tav {

class CodePage;
class Files;

// Reads a file and converts it to UTF-8; nothing when it cannot be read.
std::optional<std::string> read_text_file(const Files& files, const CodePage& code_page,
                                          std::string_view path);
// Converts UTF-8 text to the code page and replaces the file with it.
bool write_text_file(Files& files, const CodePage& code_page, std::string_view path,
                     std::string_view text);

}  // namespace tav
