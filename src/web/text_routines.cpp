#include "web/text_routines.h"

#include "base/text.h"
#include "platform/code_page.h"

namespace tav {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool keeps_itself(char16_t u) {
  return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '@' ||
         u == '*' || u == '_' || u == '+' || u == '-' || u == '.' || u == '/';
}

int hex_value(char16_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The value of n hex digits at s[at], or -1.
int hex_run(std::u16string_view s, std::size_t at, int n) {
  int value = 0;
  for (int k = 0; k < n; ++k) {
    const int d = hex_value(s[at + k]);
    if (d < 0) return -1;
    value = value * 16 + d;
  }
  return value;
}

}  // namespace

std::string urlEscapeUnits(std::u16string_view units) {
  std::string out;
  out.reserve(units.size() * 3);
  for (const char16_t u : units) {
    if (keeps_itself(u)) {
      out += static_cast<char>(u);
    } else if (u >= 1 && u <= 255) {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 0xF];
    } else {
      out += "%u";
      out += kHex[(u >> 12) & 0xF];
      out += kHex[(u >> 8) & 0xF];
      out += kHex[(u >> 4) & 0xF];
      out += kHex[u & 0xF];
    }
  }
  return out;
}

std::string urlEscape(std::string_view text) { return urlEscapeUnits(utf8_to_utf16(text)); }

namespace {

bool is_high_surrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }

// kept_bytes_from_escapes: whether an escaped lone U+DC80..U+DCFF stays as
// it is (code units) or becomes U+FFFD (program text, where it would stand
// for a byte kept from a file).
std::u16string unescape(std::u16string_view s, bool kept_bytes_from_escapes) {
  std::u16string out;
  out.reserve(s.size());
  auto add_escaped = [&](char16_t u) {
    const bool lone_kept_byte =
        u >= 0xDC80 && u <= 0xDCFF && (out.empty() || !is_high_surrogate(out.back()));
    out += (lone_kept_byte && !kept_bytes_from_escapes) ? char16_t{0xFFFD} : u;
  };
  std::size_t i = 0;
  while (i < s.size()) {
    if (s[i] == '%') {
      if (i + 5 < s.size() && s[i + 1] == 'u') {
        const int v = hex_run(s, i + 2, 4);
        if (v >= 0) {
          add_escaped(static_cast<char16_t>(v));
          i += 6;
          continue;
        }
      }
      if (i + 2 < s.size()) {
        const int v = hex_run(s, i + 1, 2);
        if (v >= 0) {
          out += static_cast<char16_t>(v);
          i += 3;
          continue;
        }
      }
    }
    out += s[i];
    ++i;
  }
  return out;
}

}  // namespace

std::u16string urlUnescapeUnits(std::u16string_view text) { return unescape(text, true); }

std::string urlUnescape(std::string_view text) {
  return utf16_to_utf8(unescape(utf8_to_utf16(text), false));
}

std::string file_part(std::string_view text) {
  std::size_t at = text.rfind('\\');
#ifndef _WIN32
  const std::size_t slash = text.rfind('/');
  if (slash != std::string_view::npos && (at == std::string_view::npos || slash > at)) at = slash;
#endif
  if (at == std::string_view::npos) return {};
  return std::string(text.substr(at + 1));
}

std::string fit_width(const CodePage& code_page, std::string_view text, int limit) {
  const std::u16string units = utf8_to_utf16(text);
  if (static_cast<long long>(limit / 2) >= static_cast<long long>(units.size())) {
    return std::string(text);
  }
  std::u16string out;
  int width = 0;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t u = units[i];
    // A surrogate pair is one character to the eye; the code page holds
    // neither half, so each half counts 1. Never cut between the halves.
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      if (width + 2 > limit) break;
      width += 2;
      out += u;
      out += units[++i];
      continue;
    }
    const bool is_surrogate = u >= 0xD800 && u <= 0xDFFF;
    width += (!is_surrogate && code_page.is_double_byte(u)) ? 2 : 1;
    if (width > limit) break;
    out += u;
  }
  return utf16_to_utf8(out);
}

}  // namespace tav
