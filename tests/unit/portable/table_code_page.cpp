#include "portable/table_code_page.h"

#include <vector>

#include "base/text.h"

namespace tav::test {

namespace {

constexpr char32_t kEuro = 0x20AC;  // the single byte 0x80

char32_t pair_at(unsigned char lead, unsigned char trail) {
  if (lead < 0x81 || lead > 0xFE || trail < 0x40 || trail > 0xFE) return 0;
  return kCp936Pairs[lead - 0x81][trail - 0x40];
}

// Length of the (possibly broken) UTF-8 sequence at the start of s, and its
// code point when it is a well-formed one (0xFFFFFFFF when not).
std::size_t utf8_sequence(std::string_view s, char32_t& cp) {
  const auto b = static_cast<unsigned char>(s[0]);
  const std::size_t n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
  std::size_t k = 1;
  while (k < n && k < s.size() && (static_cast<unsigned char>(s[k]) & 0xC0) == 0x80) ++k;
  cp = 0xFFFFFFFF;
  if (k != n || b > 0xF4 || (n == 1 && b >= 0x80)) return k;
  char32_t v = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
  for (std::size_t i = 1; i < n; ++i) v = (v << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
  static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (v >= kLeast[n] && v <= 0x10FFFF) cp = v;
  return k;
}

}  // namespace

TableCodePage::TableCodePage() {
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
      const char32_t cp = pair_at(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail));
      if (cp != 0) bytes_of_.emplace(cp, std::string{static_cast<char>(lead), static_cast<char>(trail)});
    }
  }
  bytes_of_[kEuro] = std::string(1, '\x80');
}

std::string TableCodePage::from_utf8(std::string_view utf8) const {
  std::vector<std::size_t> kept;
  std::string out;
  out.reserve(utf8.size());
  while (!utf8.empty()) {
    char32_t cp = 0;
    const std::size_t n = utf8_sequence(utf8, cp);
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp >= 0xDC80 && cp <= 0xDCFF) {
      kept.push_back(out.size());
      out += static_cast<char>(cp - 0xDC00);  // a byte kept by to_utf8
    } else if (const auto it = bytes_of_.find(cp); it != bytes_of_.end()) {
      out += it->second;
    } else {
      out += '?';
    }
    utf8.remove_prefix(n);
  }
  // As iconv's code page: a kept byte that would not read back as itself
  // (0x80 is the euro sign; a lead byte may pair with the byte after it)
  // becomes "?".
  for (const std::size_t at : kept) {
    const auto byte = static_cast<unsigned char>(out[at]);
    if (byte == 0x80 ||
        (at + 1 < out.size() && pair_at(byte, static_cast<unsigned char>(out[at + 1])) != 0))
      out[at] = '?';
  }
  return out;
}

std::string TableCodePage::to_utf8(std::string_view ansi) const {
  std::string out;
  out.reserve(ansi.size() * 2);
  for (std::size_t i = 0; i < ansi.size(); ++i) {
    const auto b = static_cast<unsigned char>(ansi[i]);
    if (b < 0x80) {
      out += static_cast<char>(b);
    } else if (b == 0x80) {
      out += utf8_from_code_point(kEuro);
    } else if (const char32_t cp = i + 1 < ansi.size() ? pair_at(b, static_cast<unsigned char>(ansi[i + 1])) : 0) {
      out += utf8_from_code_point(cp);
      ++i;
    } else {
      out += utf8_from_code_point(0xDC00 + b);
    }
  }
  return out;
}

bool TableCodePage::is_double_byte(char32_t cp) const {
  const auto it = cp >= 0x80 ? bytes_of_.find(cp) : bytes_of_.end();
  return it != bytes_of_.end() && it->second.size() == 2;
}

}  // namespace tav::test
