// SHA-1, fed in pieces: the content hash that names a qvod:// film, worked
// out by the content server for its files and checked by the player suite
// on a finished download.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace tav {

class Sha1 {
 public:
  void add(const void* data, std::size_t size);
  void add(std::string_view bytes) { add(bytes.data(), bytes.size()); }
  // 40 upper-case hexadecimal digits; the object is spent afterwards.
  std::string hex();

 private:
  void compress(const unsigned char* block);

  std::uint32_t h_[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
  unsigned char buffer_[64] = {};
  std::size_t used_ = 0;
  std::uint64_t length_ = 0;  // bytes
};

std::string sha1_hex(std::string_view bytes);
// The same of a file's bytes; "" when it cannot be read.
std::string sha1_file_hex(const std::filesystem::path& path);

}  // namespace tav
