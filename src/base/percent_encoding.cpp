#include "base/percent_encoding.h"

namespace tav {

std::string percent_encode(std::string_view bytes, const ByteSet& keep) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (keep.has(b)) {
      out += c;
    } else {
      out += '%';
      out += kDigits[b >> 4];
      out += kDigits[b & 0xF];
    }
  }
  return out;
}

}  // namespace tav
