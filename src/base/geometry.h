// Plain value types of screen geometry and colour, shared by the form model
// and the platform interfaces.
#pragma once

#include <cstdint>
#include <string>

namespace tav {

struct Point {
  int x = 0, y = 0;
  bool operator==(const Point&) const = default;
};

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  bool contains(const Rect& r) const {
    return r.x >= x && r.y >= y && r.x + r.w <= x + w && r.y + r.h <= y + h;
  }
  bool operator==(const Rect&) const = default;
};

// 0xRRGGBB.
using Color = std::uint32_t;
inline constexpr Color kWhite = 0xFFFFFF;
inline constexpr Color kBlack = 0x000000;
// The system's window colour (system colour index 5), as the skin has it.
inline constexpr Color kSystemWindowColor = 0xFFFFFF;
// The system's highlight colour (system colour 0x8000000D).
inline constexpr Color kSystemHighlightColor = 0x3875D7;

enum class MousePointer { Default, Arrow, SizeNS, SizeWE, SizeNWSE, SizeNESW, Hand };

enum class WindowState { Normal, Minimized, Maximized };

// An image: a file stem of the skin ("ppt1", "but3") and its size in pixels.
struct Picture {
  std::string id;
  int width = 0, height = 0;
  bool empty() const { return id.empty(); }
  bool operator==(const Picture&) const = default;
};

}  // namespace tav
