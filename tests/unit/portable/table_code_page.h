// Code page 936 (GBK) from a table, for builds without iconv (the Windows
// cross build). It keeps the rules of the CodePage interface as the iconv
// one does: an unconvertible character becomes "?", a byte that is not
// valid in the code page becomes U+DC00 + byte and back.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/code_page.h"

namespace tav::test {

// The pairs lead 0x81..0xFE, trail 0x40..0xFE; 0 where a pair is no
// character. Generated from Python's gbk codec at build time.
extern const char16_t kCp936Pairs[126][191];

class TableCodePage final : public CodePage {
 public:
  TableCodePage();
  std::string from_utf8(std::string_view utf8) const override;
  std::string to_utf8(std::string_view ansi) const override;
  bool is_double_byte(char32_t cp) const override;
  bool is_lead_byte(unsigned char byte) const override { return byte >= 0x81 && byte <= 0xFE; }

 private:
  std::unordered_map<char32_t, std::string> bytes_of_;  // the characters above 0x7F
};

}  // namespace tav::test
