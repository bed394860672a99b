// The container of the player control on the main window.
#pragma once

#include <functional>

#include "forms/control.h"

namespace tav {

class PlayerControl;

class PlayerSite final : public Control {
 public:
  PlayerSite(Form& form, Control* parent, std::string name)
      : Control(form, parent, std::move(name), -1, ControlKind::PlayerSite) {}
  // Null when the player class could not be created.
  PlayerControl* control() const { return control_; }
  void set_control(PlayerControl* c) { control_ = c; }
  // Asked for a control while there is none: the backend may try to create
  // it again (the player may have been registered since).
  std::function<void()> on_missing_control;

 private:
  PlayerControl* control_ = nullptr;
};

}  // namespace tav
