// What the program asks of the windowing system beyond the form model.
#pragma once

#include <functional>
#include <optional>

#include "base/geometry.h"

namespace tav {

class Control;
class Form;
struct Menu;

// Border hit codes of a system resize (the non-client hit-test values).
enum class HitCode {
  None = 0,
  Caption = 2,
  Left = 10,
  Right = 11,
  Top = 12,
  TopLeft = 13,
  TopRight = 14,
  Bottom = 15,
  BottomLeft = 16,
  BottomRight = 17,
};

class WindowSystem {
 public:
  virtual ~WindowSystem() = default;
  // A form was created: mirror it, with an engine behind every browser and
  // the player site. detach: the form is unloaded.
  virtual void attach(Form& form) = 0;
  virtual void detach(Form& form) = 0;
  // Mouse capture: all mouse input goes to the control until released.
  virtual void set_capture(Control& control) = 0;
  virtual void release_capture() = 0;
  // The system moves (or resizes from an edge) the window while the left
  // button stays down; when the resize is over, finished runs.
  virtual void start_system_move(Form& form) = 0;
  virtual void start_system_resize(Form& form, HitCode edge, std::function<void()> finished) = 0;
  // Pops up a menu of a form at a point of the owner window (pixels), or at
  // the mouse position.
  virtual void popup_menu(Form& owner, Menu& menu, std::optional<Point> at) = 0;
};

}  // namespace tav
