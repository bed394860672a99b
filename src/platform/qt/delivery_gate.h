// The gate every call of the desktop backend into the program's handlers
// passes (timer ticks, page events, tray clicks, messages of a second
// start, the media controls, window changes).
//
// A blocking request keeps the window painted while it waits: it runs an
// event loop of its own, which would also deliver such calls, and a handler
// would then run in the middle of the one that waits. While the request
// holds the gate, calls wait in a queue instead. Once it is released they
// run in the order they came, one per turn of the event loop, and so after
// the waiting handler has returned, as they would have run had the request
// held the thread. Calls that come while some still wait queue up behind
// them.
//
// Qt-free: the backend gives it a way to run a function on a later turn of
// its event loop.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <utility>

namespace tav::qt {

class DeliveryGate {
 public:
  using Post = std::function<void(std::function<void()>)>;
  explicit DeliveryGate(Post post_later) : post_later_(std::move(post_later)) {}
  DeliveryGate(const DeliveryGate&) = delete;
  DeliveryGate& operator=(const DeliveryGate&) = delete;

  // Runs call now, or queues it while the gate is held or calls wait.
  void deliver(std::function<void()> call) {
    if (!busy()) {
      call();
      return;
    }
    queue_.push_back(std::move(call));
    schedule();
  }
  // Holds the gate (holds nest).
  void hold() { ++holds_; }
  void release() {
    if (holds_ > 0) --holds_;
    schedule();
  }
  bool held() const { return holds_ > 0; }
  // Held, or calls still wait: a call delivered now would not run now.
  bool busy() const { return holds_ > 0 || !queue_.empty(); }
  std::size_t waiting() const { return queue_.size(); }

 private:
  void schedule() {
    if (holds_ > 0 || queue_.empty() || posted_) return;
    posted_ = true;
    post_later_([this] { run_next(); });
  }
  void run_next() {
    posted_ = false;
    if (holds_ > 0 || queue_.empty()) return;
    std::function<void()> call = std::move(queue_.front());
    queue_.pop_front();
    // The next one gets a turn of its own, also when this one runs an
    // event loop (a modal box) or holds the gate again.
    schedule();
    call();
  }

  Post post_later_;
  std::deque<std::function<void()>> queue_;
  int holds_ = 0;
  bool posted_ = false;
};

}  // namespace tav::qt
