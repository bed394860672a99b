// Reading the model by name, for the scenario runner.
#pragma once

#include <optional>
#include <string>

namespace tav {
class BA1;
class Control;
class Form;
class Timer;
struct MenuItem;
}  // namespace tav

namespace tav::sim {

// A property of a control: visible, shown, enabled, left, top, width,
// height, caption, tooltip, picture, drawing, forecolor, backcolor, value,
// text, autosize, location (browsers), hooked (browsers).
std::optional<std::string> control_property(const Control& c, const std::string& property);
// A property of a form: width, height, left, top, scalewidth, scaleheight,
// state, visible, caption, topmost, region, pointer, style, drawing.
std::optional<std::string> form_property(const Form& f, const std::string& property);
// A property of a menu item: visible, enabled, caption.
std::optional<std::string> item_property(const MenuItem& item, const std::string& property);
// A shared-state field of the main window by its name.
std::optional<std::string> field_value(const BA1& w, const std::string& name);
// "id left,top widthxheight" and " hidden" when not visible.
std::string layout_line(const Control& c);

// The program's windows by the names scripts give them: BA1 (or form) the
// main window, tip the menus' window, BA3 the settings dialog, adsb and ba4
// the advertisement windows.
bool is_form_name(const std::string& name);
// Whether the program has that window loaded now (tip: whether it was
// loaded before; naming it loads it, as the menus do).
bool form_loaded(const BA1& main, const std::string& name);

// What a script names: a window ("BA3"), a control of the main window by its
// id ("npc(7)"), a control of another window after the window's name
// ("BA3.Check1(0)", "adsb.Web1"), or a menu item of tip ("tip.c_f", or "c_f"
// where the main window has no control of that name). Exactly one is set.
struct Target {
  Form* form = nullptr;
  Control* control = nullptr;
  const MenuItem* item = nullptr;
};
// Throws std::runtime_error saying what is missing: no such window, the
// window not loaded, no such control.
Target find_target(BA1& main, const std::string& name);
// A timer by its name, "Timer1" of the main window or "ba4.Timer1"; null
// when there is none.
Timer* find_timer(BA1& main, const std::string& name);

}  // namespace tav::sim
