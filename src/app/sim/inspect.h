// Reading the model by name, for the scenario runner.
#pragma once

#include <optional>
#include <string>

namespace tav {
class BA1;
class Control;
class Form;
}  // namespace tav

namespace tav::sim {

// A property of a control: visible, shown, enabled, left, top, width,
// height, caption, tooltip, picture, drawing, forecolor, backcolor, value,
// text, autosize, location (browsers), hooked (browsers).
std::optional<std::string> control_property(const Control& c, const std::string& property);
// A property of a form: width, height, left, top, scalewidth, scaleheight,
// state, visible, caption, topmost, region, pointer, style, drawing.
std::optional<std::string> form_property(const Form& f, const std::string& property);
// A shared-state field of the main window by its name.
std::optional<std::string> field_value(const BA1& w, const std::string& name);
// "id left,top widthxheight" and " hidden" when not visible.
std::string layout_line(const Control& c);

}  // namespace tav::sim
