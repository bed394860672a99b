#include "platform/headless/effect_log.h"

namespace tav {

void EffectLog::add(std::string line) {
  lines_.push_back(std::move(line));
  if (sink) sink(lines_.back());
}

bool EffectLog::contains(std::string_view part) const { return count(part) > 0; }

std::size_t EffectLog::count(std::string_view part) const {
  std::size_t n = 0;
  for (const std::string& l : lines_)
    if (l.find(part) != std::string::npos) ++n;
  return n;
}

std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  out += '"';
  return out;
}

}  // namespace tav
