#include "playback/player.h"

#include "forms/player_site.h"

namespace tav {

PlayerControl& Player::control() {
  PlayerControl* c = site_.control();
  if (!c && site_.on_missing_control) {
    site_.on_missing_control();
    c = site_.control();
  }
  if (!c) throw AutomationError("the player control could not be created");
  return *c;
}

std::string Player::address() { return control().get(dispid::kAddress).to_text(); }
void Player::set_address(const std::string& address) {
  control().put(dispid::kAddress, Variant(address));
}
void Player::set_mute(bool on) { control().put(dispid::kMute, Variant(on ? -1 : 0)); }
void Player::full_screen() { control().put(dispid::kFullScreen, Variant(-1)); }
int Player::volume() { return control().get(dispid::kVolume).to_int(); }
void Player::set_volume(int percent) { control().put(dispid::kVolume, Variant(percent)); }
int Player::duration() { return control().get(dispid::kDuration).to_int(); }
int Player::download_speed() { return control().get(dispid::kDownloadSpeed).to_int(); }
int Player::position() { return control().get(dispid::kPosition).to_int(); }
void Player::set_position(int seconds) { control().put(dispid::kPosition, Variant(seconds)); }
void Player::play() { control().invoke(dispid::kPlay, {}); }
void Player::pause() { control().invoke(dispid::kPause, {}); }
void Player::stop() { control().invoke(dispid::kStop, {}); }
int Player::play_state() { return control().get(dispid::kPlayState).to_int(); }
int Player::bit_rate() { return control().get(dispid::kBitRate).to_int(); }
int Player::download_progress() { return control().get(dispid::kDownloadProgress).to_int(); }
void Player::prebuffer(const std::string& address) {
  control().invoke(dispid::kPreBuffer, {Variant(address)});
}
void Player::set_ad_page(const std::string& address) {
  control().put(dispid::kAdPage, Variant(address));
}

}  // namespace tav
