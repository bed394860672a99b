// SHA-1, fed in pieces: the check of a finished qvod:// download.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tav::suite {

class Sha1 {
 public:
  Sha1();
  void add(const void* data, std::size_t size);
  void add(std::string_view bytes) { add(bytes.data(), bytes.size()); }
  // 40 upper-case hexadecimal digits; the object is spent afterwards.
  std::string hex();

 private:
  void block(const unsigned char* p);
  std::uint32_t h_[5];
  unsigned char buffer_[64];
  std::size_t used_ = 0;
  std::uint64_t length_ = 0;  // bytes
};

std::string sha1_hex(std::string_view bytes);

// SHA-1 of a file's bytes (not through a link); "" when it cannot be read.
std::string sha1_file(const std::string& path);

}  // namespace tav::suite
