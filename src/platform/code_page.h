// The system's ANSI code page: every file the program keeps is stored in it.
#pragma once

#include <string>
#include <string_view>

namespace tav {

class CodePage {
 public:
  virtual ~CodePage() = default;
  // UTF-8 to the code page. A character the code page cannot hold becomes
  // "?"; the kept bytes of to_utf8 become those bytes again.
  virtual std::string from_utf8(std::string_view utf8) const = 0;
  // The code page to UTF-8. A byte that is not valid in the code page is
  // kept as the code point U+DC00 + byte (a lone surrogate, written as three
  // bytes), which from_utf8 turns back into the same byte: a file with such
  // bytes survives being read and written again unchanged.
  virtual std::string to_utf8(std::string_view ansi) const = 0;
  // True when the character is stored as two bytes in the code page (for a
  // Chinese character in GBK, for instance).
  virtual bool is_double_byte(char32_t cp) const = 0;
  // True when the byte starts a two-byte character.
  virtual bool is_lead_byte(unsigned char byte) const = 0;
};

}  // namespace tav
