#include "sha1.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

namespace tsrv {

namespace {

std::uint32_t rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

void compress(std::array<std::uint32_t, 5>& h, const unsigned char* block) {
  std::uint32_t w[80];
  for (int i = 0; i < 16; ++i) {
    w[i] = (std::uint32_t{block[4 * i]} << 24) | (std::uint32_t{block[4 * i + 1]} << 16) |
           (std::uint32_t{block[4 * i + 2]} << 8) | std::uint32_t{block[4 * i + 3]};
  }
  for (int i = 16; i < 80; ++i) w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
  std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
  for (int i = 0; i < 80; ++i) {
    std::uint32_t f, k;
    if (i < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999;
    } else if (i < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1;
    } else if (i < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDC;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6;
    }
    const std::uint32_t t = rotl(a, 5) + f + e + k + w[i];
    e = d;
    d = c;
    c = rotl(b, 30);
    b = a;
    a = t;
  }
  h[0] += a;
  h[1] += b;
  h[2] += c;
  h[3] += d;
  h[4] += e;
}

}  // namespace

namespace {

// Fed in pieces.
class Sha1 {
 public:
  void add(const char* data, std::size_t size) {
    length_ += size;
    while (size > 0) {
      const std::size_t take = std::min(size, sizeof block_ - used_);
      std::memcpy(block_ + used_, data, take);
      used_ += take;
      data += take;
      size -= take;
      if (used_ == sizeof block_) {
        compress(h_, block_);
        used_ = 0;
      }
    }
  }
  std::string hex() {
    const std::uint64_t bit_length = length_ * 8;
    const char one = static_cast<char>(0x80), zero = 0;
    add(&one, 1);
    while (used_ != 56) add(&zero, 1);
    for (int i = 7; i >= 0; --i) {
      const char c = static_cast<char>((bit_length >> (8 * i)) & 0xFF);
      add(&c, 1);
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(40);
    for (const std::uint32_t word : h_)
      for (int shift = 28; shift >= 0; shift -= 4) out += kHex[(word >> shift) & 0xF];
    return out;
  }

 private:
  std::array<std::uint32_t, 5> h_{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  unsigned char block_[64] = {};
  std::size_t used_ = 0;
  std::uint64_t length_ = 0;
};

}  // namespace

std::string sha1_hex(std::string_view bytes) {
  Sha1 sha;
  sha.add(bytes.data(), bytes.size());
  return sha.hex();
}

std::string sha1_file_hex(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  Sha1 sha;
  std::vector<char> buffer(1 << 20);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    sha.add(buffer.data(), static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) return {};
  return sha.hex();
}

}  // namespace tsrv
