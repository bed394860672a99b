#include "suite/player/sha1.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace tav::suite {

namespace {
std::uint32_t rol(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
}  // namespace

Sha1::Sha1() : h_{0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u} {}

void Sha1::block(const unsigned char* p) {
  std::uint32_t w[80];
  for (int i = 0; i < 16; ++i)
    w[i] = (std::uint32_t(p[4 * i]) << 24) | (std::uint32_t(p[4 * i + 1]) << 16) |
           (std::uint32_t(p[4 * i + 2]) << 8) | std::uint32_t(p[4 * i + 3]);
  for (int i = 16; i < 80; ++i) w[i] = rol(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
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
    const std::uint32_t t = rol(a, 5) + f + e + k + w[i];
    e = d;
    d = c;
    c = rol(b, 30);
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
      block(buffer_);
      used_ = 0;
    }
  }
}

std::string Sha1::hex() {
  const std::uint64_t bits = length_ * 8;
  const unsigned char one = 0x80;
  add(&one, 1);
  const unsigned char zero = 0;
  while (used_ != 56) add(&zero, 1);
  unsigned char tail[8];
  for (int i = 0; i < 8; ++i) tail[i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
  add(tail, 8);
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (std::uint32_t v : h_)
    for (int shift = 28; shift >= 0; shift -= 4) out += digits[(v >> shift) & 0xF];
  return out;
}

std::string sha1_hex(std::string_view bytes) {
  Sha1 s;
  s.add(bytes);
  return s.hex();
}

std::string sha1_file(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return {};
  Sha1 s;
  std::vector<char> buffer(1 << 20);
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return {};
    }
    if (n == 0) break;
    s.add(buffer.data(), static_cast<std::size_t>(n));
  }
  ::close(fd);
  return s.hex();
}

}  // namespace tav::suite
