// One running instance per user: the test, the channel and the hand-off.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tav {

class SingleInstance {
 public:
  virtual ~SingleInstance() = default;
  // True when another instance of the program runs for this user.
  virtual bool another_running() = 0;
  // Serves the channel; each command line received is passed to the handler
  // on the user-interface thread.
  virtual void serve(std::function<void(const std::string&)> on_execute) = 0;
  // Stops serving the channel.
  virtual void withdraw() = 0;
  // Gives the instance up on the way out: the channel closes and a new start
  // runs as a program of its own, while this process shows its last window.
  virtual void leave() = 0;
  // Hands the command line to the running instance. False when none answered.
  virtual bool send(std::string_view command_line) = 0;
};

}  // namespace tav
