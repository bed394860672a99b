// What the files of the player control share: its messages' text, the
// seconds it gives mpv, and mpv's readings that may not be known yet.
#pragma once

#include <QString>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

namespace tav::suite::mpv_player_parts {

inline QString text(const char* utf8) { return QString::fromUtf8(utf8); }

inline std::string seconds_text(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", s);
  return text;
}

// A reading mpv has not given (NaN).
inline constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();
inline double known(double value, double fallback) { return std::isnan(value) ? fallback : value; }

// Replies to loadfile commands carry ids from here up; the lower ones are
// the observed properties'.
inline constexpr std::uint64_t kLoadReplyBase = 1000;

}  // namespace tav::suite::mpv_player_parts
