// The screen.
#pragma once

namespace tav {

struct WorkArea {
  int left = 0, top = 0, right = 0, bottom = 0;  // pixels
  int width() const { return right - left; }
  int height() const { return bottom - top; }
};

inline constexpr int kTwipsPerPixel = 15;

class Screen {
 public:
  virtual ~Screen() = default;
  // The desktop without the task bar and panels, in pixels.
  virtual WorkArea work_area() const = 0;
  virtual int width_px() const = 0;
  virtual int height_px() const = 0;
  int width_twips() const { return width_px() * kTwipsPerPixel; }
  int height_twips() const { return height_px() * kTwipsPerPixel; }
};

}  // namespace tav
