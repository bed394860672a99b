// Percent-encoding of bytes ("%XY", upper-case hex digits), with the set of
// bytes left as they are chosen by each caller: what a query value, a
// request's address or a path may carry differ.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tav {

// A set of byte values, made where it is used:
//   ByteSet().with_range(0x21, 0x7E).without("\"<>")
class ByteSet {
 public:
  constexpr ByteSet() = default;
  constexpr ByteSet with(std::string_view bytes) const {
    ByteSet s = *this;
    for (const char c : bytes) s.set(static_cast<unsigned char>(c), true);
    return s;
  }
  constexpr ByteSet without(std::string_view bytes) const {
    ByteSet s = *this;
    for (const char c : bytes) s.set(static_cast<unsigned char>(c), false);
    return s;
  }
  // first to last, both included.
  constexpr ByteSet with_range(unsigned char first, unsigned char last) const {
    ByteSet s = *this;
    for (unsigned b = first; b <= last; ++b) s.set(static_cast<unsigned char>(b), true);
    return s;
  }
  constexpr bool has(unsigned char b) const { return (bits_[b >> 6] >> (b & 63)) & 1u; }

 private:
  constexpr void set(unsigned char b, bool on) {
    const std::uint64_t bit = std::uint64_t{1} << (b & 63);
    bits_[b >> 6] = on ? bits_[b >> 6] | bit : bits_[b >> 6] & ~bit;
  }
  std::uint64_t bits_[4] = {};
};

// The ASCII letters and digits.
inline constexpr ByteSet kAsciiAlphanumerics =
    ByteSet().with_range('0', '9').with_range('A', 'Z').with_range('a', 'z');
// What a URL carries as it is anywhere (RFC 3986's unreserved characters).
inline constexpr ByteSet kUrlUnreserved = kAsciiAlphanumerics.with("-._~");

// Every byte not in keep written as "%XY".
std::string percent_encode(std::string_view bytes, const ByteSet& keep);

}  // namespace tav
