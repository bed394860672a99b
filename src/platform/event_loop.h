// The user-interface thread's event loop.
#pragma once

namespace tav {

class EventLoop {
 public:
  virtual ~EventLoop() = default;
  // Lets pending events run (window messages, timers that are due).
  virtual void do_events() = 0;
  // Ends the process at once: no window is unloaded, nothing more runs.
  virtual void end_process() = 0;
  // Ends the event loop after the current event: the program exits.
  virtual void quit() = 0;
  virtual bool ended() const = 0;
};

}  // namespace tav
