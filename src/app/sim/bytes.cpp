#include "sim/bytes.h"

#include "platform/code_page.h"

namespace tav::sim {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void append_hex_escape(std::string& out, unsigned char b) {
  out += "\\x";
  out += kHex[b >> 4];
  out += kHex[b & 0xF];
}

// The UTF-8 of a character of the code page that converts back to exactly
// these bytes; nothing for bytes that are not one character.
std::optional<std::string> character(std::string_view bytes, const CodePage& code_page) {
  const std::string utf8 = code_page.to_utf8(bytes);
  // A byte the code page does not know comes back as a lone surrogate
  // (ED B0..B3 xx), which is no character to print.
  if (utf8.size() >= 2 && static_cast<unsigned char>(utf8[0]) == 0xED &&
      static_cast<unsigned char>(utf8[1]) >= 0xA0)
    return std::nullopt;
  if (utf8.empty() || code_page.from_utf8(utf8) != bytes) return std::nullopt;
  return utf8;
}

}  // namespace

std::string hex_dump(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (!out.empty()) out += ' ';
    out += kHex[b >> 4];
    out += kHex[b & 0xF];
  }
  return out;
}

std::optional<std::string> parse_hex(std::string_view hex) {
  std::string out;
  int high = -1;
  for (const char c : hex) {
    if (c == ' ' || c == '\t') {
      if (high >= 0) return std::nullopt;  // "5 B" splits a byte
      continue;
    }
    const int v = hex_value(c);
    if (v < 0) return std::nullopt;
    if (high < 0) {
      high = v;
    } else {
      out += static_cast<char>(high * 16 + v);
      high = -1;
    }
  }
  if (high >= 0) return std::nullopt;
  return out;
}

std::string script_bytes(std::string_view text, const CodePage& code_page) {
  std::string out, run;  // run: UTF-8 still to be converted
  auto flush = [&] {
    out += code_page.from_utf8(run);
    run.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 >= text.size()) {
      run += text[i];
      continue;
    }
    const char n = text[++i];
    if (n == 'x' && i + 2 < text.size() && hex_value(text[i + 1]) >= 0 &&
        hex_value(text[i + 2]) >= 0) {
      flush();
      out += static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2]));
      i += 2;
    } else {
      run += n == 'n' ? '\n' : n == 'r' ? '\r' : n == 't' ? '\t' : n;
    }
  }
  flush();
  return out;
}

std::string escape_bytes(std::string_view bytes, const CodePage& code_page) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b == '\\') {
      out += "\\\\";
    } else if (b == '\r') {
      out += "\\r";
    } else if (b == '\n') {
      out += "\\n";
    } else if (b == '\t') {
      out += "\\t";
    } else if (b >= 0x20 && b < 0x7F) {
      out += static_cast<char>(b);
    } else if (b < 0x80) {
      append_hex_escape(out, b);
    } else {
      const std::size_t width = code_page.is_lead_byte(b) && i + 1 < bytes.size() ? 2 : 1;
      if (const auto c = character(bytes.substr(i, width), code_page)) {
        out += *c;
        i += width - 1;
      } else {
        append_hex_escape(out, b);
      }
    }
  }
  return out;
}

}  // namespace tav::sim
