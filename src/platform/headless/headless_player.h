// The player control on the virtual clock, with faults on command.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/player_control.h"
#include "platform/clock.h"
#include "platform/headless/effect_log.h"

namespace tav {

// Calls on the player control that fail (the control raises an automation
// error), by dispatch id or all of them.
struct PlayerFaults {
  std::set<int> dispids;
  bool all = false;
  bool fails(int dispid) const { return all || dispids.count(dispid) != 0; }
};

// A player control that plays by the virtual clock: Play runs the position
// forward a second a second up to the duration; every value can be set.
// A call named in the faults logs "player failed …" and throws
// AutomationError without changing anything.
class FakePlayer final : public PlayerControl {
 public:
  FakePlayer(const Clock& clock, EffectLog& log, const PlayerFaults& faults);
  Variant get(int dispid) override;
  void put(int dispid, const Variant& value) override;
  void invoke(int dispid, const std::vector<Variant>& args) override;
  // What the player reports for a dispid, overriding the simulation.
  void set(int dispid, Variant value);
  void clear(int dispid) { fixed_.erase(dispid); }
  // Durations of media addresses (by prefix, the longest matching one
  // wins); 0 for unknown ones.
  std::map<std::string, int> durations;

 private:
  int duration() const;
  int position_now() const;
  const Clock& clock_;
  EffectLog& log_;
  const PlayerFaults& faults_;
  std::map<int, Variant> fixed_;
  std::string address_;
  int state_ = 0;
  int volume_ = 50;
  bool muted_ = false;
  int base_position_ = 0;
  long long playing_since_ = -1;
  std::string ad_page_;
};

}  // namespace tav
