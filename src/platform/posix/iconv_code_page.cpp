#include "platform/posix/iconv_code_page.h"

#include <iconv.h>

#include <cerrno>

#include "base/text.h"

namespace tav {

namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts the input; for every sequence that cannot be converted,
  // bad(rest, out) appends a replacement and returns how many input bytes
  // the sequence has.
  template <typename Bad>
  std::string run(std::string_view in, Bad bad) {
    std::string out;
    if (!ok()) return std::string(in);
    out.reserve(in.size() * 2);
    char buffer[4096];
    char* src = const_cast<char*>(in.data());
    std::size_t left = in.size();
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    while (left > 0) {
      char* dst = buffer;
      std::size_t room = sizeof buffer;
      const std::size_t r = iconv(cd_, &src, &left, &dst, &room);
      out.append(buffer, static_cast<std::size_t>(dst - buffer));
      if (r == static_cast<std::size_t>(-1)) {
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL: an unconvertible or broken sequence.
        const std::size_t n = std::min(left, bad(std::string_view(src, left), out));
        src += n;
        left -= n;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
      }
    }
    return out;
  }

 private:
  iconv_t cd_;
};

// Length of the (possibly broken) UTF-8 sequence at the start of s.
std::size_t utf8_sequence_length(std::string_view s) {
  const auto b = static_cast<unsigned char>(s[0]);
  std::size_t n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
  std::size_t k = 1;
  while (k < n && k < s.size() && (static_cast<unsigned char>(s[k]) & 0xC0) == 0x80) ++k;
  return k;
}

}  // namespace

struct IconvCodePage::Converters {
  explicit Converters(const std::string& name)
      : to_ansi(name.c_str(), "UTF-8"), to_utf8("UTF-8", name.c_str()) {}
  Converter to_ansi;
  Converter to_utf8;
};

IconvCodePage::IconvCodePage(std::string name)
    : name_(std::move(name)), double_byte_(0x10000, -1) {}

IconvCodePage::Converters& IconvCodePage::converters() const {
  if (!converters_) converters_ = std::make_shared<Converters>(name_);
  return *converters_;
}

std::string IconvCodePage::from_utf8(std::string_view utf8) const {
  Converter& c = converters().to_ansi;
  std::vector<std::size_t> kept;  // where kept bytes went in the output
  std::string out = c.run(utf8, [&kept](std::string_view rest, std::string& out) -> std::size_t {
    const std::size_t n = utf8_sequence_length(rest);
    // U+DC80..U+DCFF as WTF-8: ED B2 80 .. ED B3 BF, a byte kept by to_utf8.
    if (n == 3 && static_cast<unsigned char>(rest[0]) == 0xED &&
        (static_cast<unsigned char>(rest[1]) & 0xFE) == 0xB2) {
      kept.push_back(out.size());
      out += static_cast<char>(0x80 | ((rest[1] & 0x01) << 6) | (rest[2] & 0x3F));
    } else {
      out += '?';
    }
    return n;
  });
  // A kept byte goes back as itself only where it reads back as itself: a
  // lead byte that now meets a byte it pairs with (a field separator after
  // it, say) would merge into one character and swallow that byte. Such a
  // byte becomes "?" instead. Left to right, so every check starts on a
  // character boundary.
  for (const std::size_t at : kept) {
    const auto byte = static_cast<unsigned char>(out[at]);
    const std::string back = to_utf8(std::string_view(out).substr(at, 4));
    if (!starts_with(back, utf8_from_code_point(0xDC00 + byte))) out[at] = '?';
  }
  return out;
}

std::string IconvCodePage::to_utf8(std::string_view ansi) const {
  Converter& c = converters().to_utf8;
  return c.run(ansi, [](std::string_view rest, std::string& out) -> std::size_t {
    out += utf8_from_code_point(0xDC00 + static_cast<unsigned char>(rest[0]));
    return 1;
  });
}

bool IconvCodePage::is_double_byte(char32_t cp) const {
  if (cp < 0x80) return false;
  if (cp >= 0x10000) return false;
  signed char& known = double_byte_[cp];
  if (known < 0) {
    const std::string bytes = from_utf8(utf8_from_code_point(cp));
    known = (bytes.size() == 2) ? 1 : 0;
  }
  return known == 1;
}

std::optional<std::string> decode_charset(std::string_view bytes, const std::string& charset) {
  Converter c("UTF-8", charset.c_str());
  if (!c.ok()) return std::nullopt;
  return well_formed_utf8(c.run(bytes, [](std::string_view, std::string& out) -> std::size_t {
    out += "\xEF\xBF\xBD";
    return 1;
  }));
}

bool IconvCodePage::is_lead_byte(unsigned char byte) const { return byte >= 0x81 && byte <= 0xFE; }

}  // namespace tav
