// The player control, addressed only by its dispatch ids.
#pragma once

#include <string>
#include <string_view>

#include "base/player_control.h"

namespace tav {

class PlayerSite;

// The class the program creates to test that the player is installed.
inline constexpr std::string_view kPlayerClassId = "clsid:F3D0D36F-23F8-4682-A195-74C92B03D4AF";

namespace dispid {
inline constexpr int kAddress = 1;
inline constexpr int kMute = 3;
inline constexpr int kFullScreen = 5;
inline constexpr int kVolume = 6;
inline constexpr int kDuration = 7;
inline constexpr int kDownloadSpeed = 8;
inline constexpr int kPosition = 10;
inline constexpr int kPlay = 12;
inline constexpr int kPause = 13;
inline constexpr int kStop = 14;
inline constexpr int kPlayState = 16;
inline constexpr int kBitRate = 20;
inline constexpr int kDownloadProgress = 26;
inline constexpr int kPreBuffer = 30;
inline constexpr int kAdPage = 31;
}  // namespace dispid

// Play states of dispid::kPlayState.
namespace play_state {
inline constexpr int kReady = 0;
inline constexpr int kStopped = 1;
inline constexpr int kPaused = 2;
inline constexpr int kPlaying = 3;
inline constexpr int kBuffering = 4;
inline constexpr int kWaiting = 5;
inline constexpr int kEnded = 6;
inline constexpr int kPreparing = 7;
inline constexpr int kReconnecting = 8;
inline constexpr int kTorrent = 9;
inline constexpr int kConnecting = 10;
inline constexpr int kStopping = 11;
}  // namespace play_state

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
