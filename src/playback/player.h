// The player control, addressed only by its dispatch ids.
#pragma once

#include <functional>
#include <string>

#include "base/player_control.h"

namespace tav {

class PlayerSite;

// Every call throws AutomationError when the control is missing or refuses.
class Player {
 public:
  explicit Player(PlayerSite& site) : site_(site) {}

  std::string address();
  void set_address(const std::string& address);
  void set_mute(bool on);
  void full_screen();
  int volume();
  void set_volume(int percent);
  int duration();
  int download_speed();
  int position();
  void set_position(int seconds);
  void play();
  // Run after every Play the control took.
  std::function<void()> on_play;
  void pause();
  void stop();
  int play_state();
  int bit_rate();
  int download_progress();
  void prebuffer(const std::string& address);
  void set_ad_page(const std::string& address);
  // True when the last call ended in an error (the control is missing or
  // refused it).
  bool last_call_refused() const { return refused_; }

 private:
  class Outcome;
  PlayerControl& control();
  PlayerSite& site_;
  bool refused_ = false;
};

}  // namespace tav
