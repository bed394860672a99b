#include "platform/headless/headless_player.h"

#include <algorithm>

#include "base/text.h"

namespace tav {

FakePlayer::FakePlayer(const Clock& clock, EffectLog& log, const PlayerFaults& faults)
    : clock_(clock), log_(log), faults_(faults) {}

int FakePlayer::duration() const {
  if (address_.empty()) return 0;
  int found = 0;
  std::size_t longest = 0;
  for (const auto& [prefix, d] : durations) {
    if (starts_with(address_, prefix) && prefix.size() >= longest) {
      found = d;
      longest = prefix.size();
    }
  }
  return found;
}

int FakePlayer::position_now() const {
  const int duration = this->duration();
  if (playing_since_ < 0) return base_position_;
  const long long p = base_position_ + (clock_.monotonic_ms() - playing_since_) / 1000;
  return static_cast<int>(duration > 0 ? std::min<long long>(p, duration) : p);
}

Variant FakePlayer::get(int dispid) {
  if (faults_.fails(dispid)) {
    log_.add("player failed get " + to_text(dispid));
    throw AutomationError("the player refused to report " + to_text(dispid));
  }
  if (const auto it = fixed_.find(dispid); it != fixed_.end()) return it->second;
  switch (dispid) {
    case dispid::kAddress: return Variant(address_);
    case dispid::kVolume: return Variant(volume_);
    case dispid::kDuration: return Variant(duration());
    case dispid::kPosition: return Variant(position_now());
    case dispid::kPlayState: {
      // A film that played to its end is finished: state 0, address kept.
      const int d = duration();
      if (state_ == play_state::kPlaying && d > 0 && position_now() >= d) return Variant(0);
      return Variant(state_);
    }
    case dispid::kDownloadProgress: return Variant(address_.empty() ? 0 : 1000);
    case dispid::kDownloadSpeed:
    case dispid::kBitRate: return Variant(0);
    default: return Variant(0);
  }
}

void FakePlayer::put(int dispid, const Variant& value) {
  if (faults_.fails(dispid)) {
    log_.add("player failed put " + to_text(dispid) + " " + quoted(value.to_text()));
    throw AutomationError("the player refused to set " + to_text(dispid));
  }
  log_.add("player put " + to_text(dispid) + " " + quoted(value.to_text()));
  switch (dispid) {
    case dispid::kAddress:
      address_ = value.to_text();
      base_position_ = 0;
      playing_since_ = -1;
      state_ = 0;
      break;
    case dispid::kVolume: volume_ = std::clamp(value.to_int(), 0, 100); break;
    case dispid::kMute: muted_ = value.to_int() != 0; break;
    case dispid::kPosition:
      base_position_ = std::max(0, value.to_int());
      if (playing_since_ >= 0) playing_since_ = clock_.monotonic_ms();
      break;
    case dispid::kAdPage: ad_page_ = value.to_text(); break;
    default: break;
  }
}

void FakePlayer::invoke(int dispid, const std::vector<Variant>& args) {
  std::string arguments;
  for (const Variant& a : args) arguments += " " + quoted(a.to_text());
  if (faults_.fails(dispid)) {
    log_.add("player failed call " + to_text(dispid) + arguments);
    throw AutomationError("the player refused the call " + to_text(dispid));
  }
  log_.add("player call " + to_text(dispid) + arguments);
  switch (dispid) {
    case dispid::kPlay:
      if (address_.empty()) break;
      if (playing_since_ < 0) playing_since_ = clock_.monotonic_ms();
      state_ = play_state::kPlaying;
      break;
    case dispid::kPause:
      base_position_ = position_now();
      playing_since_ = -1;
      state_ = play_state::kPaused;
      break;
    case dispid::kStop:
      base_position_ = 0;
      playing_since_ = -1;
      state_ = play_state::kStopped;
      break;
    default: break;
  }
}

void FakePlayer::set(int dispid, Variant value) { fixed_[dispid] = std::move(value); }

}  // namespace tav
