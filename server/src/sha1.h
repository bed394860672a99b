// SHA-1 of a byte string or a file, for the seed hashes of the media files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace tsrv {

// 40 upper-case hexadecimal digits.
std::string sha1_hex(std::string_view bytes);
// The same of a file's bytes; "" when it cannot be read.
std::string sha1_file_hex(const std::filesystem::path& path);

}  // namespace tsrv
