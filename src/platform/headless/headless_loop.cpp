#include "platform/headless/headless_loop.h"

#include <algorithm>

namespace tav {

void HeadlessLoop::end_process() {
  ended_ = true;
  log_.add("process end");
}

void HeadlessLoop::quit() {
  quit_ = true;
  log_.add("quit");
}

void HeadlessLoop::track(Timer& t) {
  slots_.push_back({&t, -1, order_++});
  timer_changed(t);
}

void HeadlessLoop::untrack(Form& f) {
  std::erase_if(slots_, [&](const Slot& s) { return &s.timer->form() == &f; });
}

void HeadlessLoop::timer_changed(Timer& t) {
  for (Slot& s : slots_) {
    if (s.timer != &t) continue;
    s.due = (t.enabled() && t.interval() > 0) ? now() + t.interval() : -1;
  }
}

void HeadlessLoop::advance(long long ms) {
  const long long target = now() + std::max(0LL, ms);
  while (!ended_) {
    Slot* next = nullptr;
    for (Slot& s : slots_) {
      if (s.due < 0 || s.due > target) continue;
      if (!next || s.due < next->due || (s.due == next->due && s.order < next->order)) next = &s;
    }
    if (!next) break;
    Timer* timer = next->timer;
    clock_.advance_to(next->due);
    next->due = now() + timer->interval();  // the next tick counts from this one
    timer->tick();                          // may add, change or remove slots
  }
  clock_.advance_to(target);
}

}  // namespace tav
