// The event loop on the virtual clock: the forms' timers run as it moves on.
#pragma once

#include <vector>

#include "forms/form.h"
#include "platform/event_loop.h"
#include "platform/headless/effect_log.h"
#include "platform/headless/headless_system.h"

namespace tav {

// Runs the forms' timers on the virtual clock.
class HeadlessLoop final : public EventLoop {
 public:
  HeadlessLoop(VirtualClock& clock, EffectLog& log) : clock_(clock), log_(log) {}
  void do_events() override {}
  void end_process() override;
  void quit() override;
  bool ended() const override { return ended_; }
  bool quit_requested() const { return quit_; }

  void track(Timer& t);
  void untrack(Form& f);
  void timer_changed(Timer& t);
  // Moves the clock forward, running every timer that comes due on the way,
  // in the order they come due.
  void advance(long long ms);
  long long now() const { return clock_.monotonic_ms(); }

 private:
  VirtualClock& clock_;
  EffectLog& log_;
  struct Slot {
    Timer* timer;
    long long due;  // < 0 when not running
    long long order;
  };
  std::vector<Slot> slots_;
  long long order_ = 0;
  bool ended_ = false;
  bool quit_ = false;
};

}  // namespace tav
