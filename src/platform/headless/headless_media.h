// The desktop's media controls and the screen saver, recorded.
#pragma once

#include <vector>

#include "platform/headless/effect_log.h"
#include "platform/media_controls.h"
#include "platform/screen_saver.h"

namespace tav {

// The desktop's media controls: keeps what was published; requests are
// made by calling the callbacks.
class HeadlessMediaControls final : public MediaControls {
 public:
  void publish(const MediaState& s) override { state = s, ++publishes, offered = true; }
  void seeked(int position_s) override { seeks.push_back(position_s); }
  void withdraw() override { offered = false; }
  MediaState state;
  int publishes = 0;
  bool offered = false;
  std::vector<int> seeks;  // positions announced after seeks
};

// Logs "screen saver inhibited" and "screen saver released".
class HeadlessScreenSaver final : public ScreenSaver {
 public:
  explicit HeadlessScreenSaver(EffectLog& log) : log_(log) {}
  void inhibit(bool on) override;
  bool inhibited = false;
  int changes = 0;

 private:
  EffectLog& log_;
};

}  // namespace tav
