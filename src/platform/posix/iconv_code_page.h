// The ANSI code page on iconv; GBK (CP936) unless told otherwise.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/code_page.h"

namespace tav {

class IconvCodePage final : public CodePage {
 public:
  explicit IconvCodePage(std::string name = "CP936");
  std::string from_utf8(std::string_view utf8) const override;
  std::string to_utf8(std::string_view ansi) const override;
  bool is_double_byte(char32_t cp) const override;
  bool is_lead_byte(unsigned char byte) const override;

 private:
  std::string name_;
  mutable std::vector<signed char> double_byte_;  // per BMP code point: -1 unknown, 0, 1
  // The two iconv descriptors, opened on first use and kept: opening one
  // costs more than most conversions. Like the cache above, not for use
  // from two threads at once.
  struct Converters;
  mutable std::shared_ptr<Converters> converters_;
  Converters& converters() const;
};

// The bytes in the named character set as well-formed UTF-8, every byte
// that does not decode as U+FFFD; nothing when iconv does not know the set.
std::optional<std::string> decode_charset(std::string_view bytes, const std::string& charset);

}  // namespace tav
