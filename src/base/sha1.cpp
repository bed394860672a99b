#include "base/sha1.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <vector>

namespace tav {

namespace {
std::uint32_t rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
}  // namespace

void Sha1::compress(const unsigned char* p) {
  std::uint32_t w[80];
  for (int i = 0; i < 16; ++i)
    w[i] = (std::uint32_t{p[4 * i]} << 24) | (std::uint32_t{p[4 * i + 1]} << 16) |
           (std::uint32_t{p[4 * i + 2]} << 8) | std::uint32_t{p[4 * i + 3]};
  for (int i = 16; i < 80; ++i) w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
  std::uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4];
  for (int i = 0; i < 80; ++i) {
    std::uint32_t f, k;
    if (i < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999u;
    } else if (i < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1u;
    } else if (i < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDCu;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6u;
    }
    const std::uint32_t t = rotl(a, 5) + f + e + k + w[i];
    e = d;
    d = c;
    c = rotl(b, 30);
    b = a;
    a = t;
  }
  h_[0] += a;
  h_[1] += b;
  h_[2] += c;
  h_[3] += d;
  h_[4] += e;
}

void Sha1::add(const void* data, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  length_ += size;
  while (size > 0) {
    const std::size_t n = std::min(size, sizeof buffer_ - used_);
    std::memcpy(buffer_ + used_, p, n);
    used_ += n;
    p += n;
    size -= n;
    if (used_ == sizeof buffer_) {
      compress(buffer_);
      used_ = 0;
    }
  }
}

std::string Sha1::hex() {
  const std::uint64_t bits = length_ * 8;
  const unsigned char one = 0x80, zero = 0;
  add(&one, 1);
  while (used_ != 56) add(&zero, 1);
  unsigned char tail[8];
  for (int i = 0; i < 8; ++i) tail[i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
  add(tail, 8);
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(40);
  for (const std::uint32_t v : h_)
    for (int shift = 28; shift >= 0; shift -= 4) out += kDigits[(v >> shift) & 0xF];
  return out;
}

std::string sha1_hex(std::string_view bytes) {
  Sha1 sha;
  sha.add(bytes);
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

}  // namespace tav
