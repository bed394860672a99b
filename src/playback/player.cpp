#include "playback/player.h"

#include <exception>

#include "forms/player_site.h"

namespace tav {

// Notes whether the call it guards ended in an error.
class Player::Outcome {
 public:
  explicit Outcome(Player& p) : p_(p), before_(std::uncaught_exceptions()) {}
  ~Outcome() { p_.refused_ = std::uncaught_exceptions() > before_;
}

 private:
  Player& p_;
  int before_;
};

PlayerControl& Player::control() {
  PlayerControl* c = site_.control();
  if (!c && site_.on_missing_control) {
    site_.on_missing_control();
    c = site_.control();
  }
  if (!c) throw AutomationError("the player control could not be created");
  return *c;
}

std::string Player::address() {
  Outcome o(*this);
  return control().get(dispid::kAddress).to_text();
}
void Player::set_address(const std::string& address) {
  Outcome o(*this);
  control().put(dispid::kAddress, Variant(address));
}
void Player::set_mute(bool on) {
  Outcome o(*this);
  control().put(dispid::kMute, Variant(on ? -1 : 0));
}
void Player::full_screen() {
  Outcome o(*this);
  control().put(dispid::kFullScreen, Variant(-1));
}
int Player::volume() {
  Outcome o(*this);
  return control().get(dispid::kVolume).to_int();
}
void Player::set_volume(int percent) {
  Outcome o(*this);
  control().put(dispid::kVolume, Variant(percent));
}
int Player::duration() {
  Outcome o(*this);
  return control().get(dispid::kDuration).to_int();
}
int Player::download_speed() {
  Outcome o(*this);
  return control().get(dispid::kDownloadSpeed).to_int();
}
int Player::position() {
  Outcome o(*this);
  return control().get(dispid::kPosition).to_int();
}
void Player::set_position(int seconds) {
  Outcome o(*this);
  control().put(dispid::kPosition, Variant(seconds));
}
void Player::play() {
  {
    Outcome o(*this);
    control().invoke(dispid::kPlay, {});
  }
  if (on_play) on_play();
}
void Player::pause() {
  Outcome o(*this);
  control().invoke(dispid::kPause, {});
}
void Player::stop() {
  Outcome o(*this);
  control().invoke(dispid::kStop, {});
}
int Player::play_state() {
  Outcome o(*this);
  return control().get(dispid::kPlayState).to_int();
}
int Player::bit_rate() {
  Outcome o(*this);
  return control().get(dispid::kBitRate).to_int();
}
int Player::download_progress() {
  Outcome o(*this);
  return control().get(dispid::kDownloadProgress).to_int();
}
void Player::prebuffer(const std::string& address) {
  Outcome o(*this);
  control().invoke(dispid::kPreBuffer, {Variant(address)});
}
void Player::set_ad_page(const std::string& address) {
  Outcome o(*this);
  control().put(dispid::kAdPage, Variant(address));
}

}  // namespace tav
