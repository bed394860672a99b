// The screen saver and the screen's power saving.
#pragma once

namespace tav {

class ScreenSaver {
 public:
  virtual ~ScreenSaver() = default;
  // True holds the screen saver and blanking off until called with false.
  virtual void inhibit(bool on) = 0;
};

}  // namespace tav
