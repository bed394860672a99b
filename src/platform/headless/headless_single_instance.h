// The single instance by script: another instance, and command lines
// handed over.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/headless/effect_log.h"
#include "platform/single_instance.h"

namespace tav {

class HeadlessInstance final : public SingleInstance {
 public:
  explicit HeadlessInstance(EffectLog& log) : log_(log) {}
  bool another_running() override { return another; }
  void serve(std::function<void(const std::string&)> on_execute) override;
  void withdraw() override;
  void leave() override;
  bool send(std::string_view command_line) override;
  // A second start hands this command line over.
  void deliver(const std::string& command_line);
  bool another = false;
  bool serving = false;
  std::vector<std::string> sent;

 private:
  EffectLog& log_;
  std::function<void(const std::string&)> handler_;
};

}  // namespace tav
