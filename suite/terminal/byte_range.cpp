#include "suite/terminal/byte_range.h"

#include <algorithm>

namespace tav::suite {

namespace {

// Digits only; -1 for anything else or more than 18 digits.
std::int64_t number(std::string_view text) {
  if (text.empty() || text.size() > 18) return -1;
  std::int64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

}  // namespace

ByteRange byte_range(std::string_view header, std::int64_t size) {
  ByteRange r;
  r.length = size;
  if (header.substr(0, 6) != "bytes=") return r;
  const std::string_view range = header.substr(6);
  const std::size_t dash = range.find('-');
  if (dash == std::string_view::npos) return r;
  const std::string_view a_text = range.substr(0, dash), b_text = range.substr(dash + 1);
  std::int64_t a = 0, b = 0;
  if (a_text.empty()) {  // the last n bytes
    const std::int64_t n = number(b_text);
    if (n <= 0) return r;
    a = std::max<std::int64_t>(0, size - n);
    b = size - 1;
  } else {
    a = number(a_text);
    if (a < 0) return r;
    b = b_text.empty() ? std::max(a, size - 1) : number(b_text);
    if (b < a) return r;
  }
  if (a >= size) {
    r.ok = false;
    return r;
  }
  b = std::min(b, size - 1);
  r.part = true;
  r.first = a;
  r.length = b - a + 1;
  return r;
}

}  // namespace tav::suite
