// SHA-1 of a byte string, for the seed hashes of the media files.
#pragma once

#include <string>
#include <string_view>

namespace tsrv {

// 40 upper-case hexadecimal digits.
std::string sha1_hex(std::string_view bytes);

}  // namespace tsrv
