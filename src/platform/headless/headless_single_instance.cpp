#include "platform/headless/headless_single_instance.h"

namespace tav {

void HeadlessInstance::serve(std::function<void(const std::string&)> on_execute) {
  handler_ = std::move(on_execute);
  serving = true;
  log_.add("instance serve");
}

void HeadlessInstance::withdraw() {
  serving = false;
  handler_ = nullptr;
  log_.add("instance withdraw");
}

void HeadlessInstance::leave() {
  serving = false;
  handler_ = nullptr;
  log_.add("instance leave");
}

bool HeadlessInstance::send(std::string_view command_line) {
  sent.emplace_back(command_line);
  log_.add("instance send " + quoted(command_line));
  return true;
}

void HeadlessInstance::deliver(const std::string& command_line) {
  log_.add("instance receive " + quoted(command_line));
  if (handler_) handler_(command_line);
}

}  // namespace tav
