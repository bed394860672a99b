// A control of a form: a picture box, label, button, browser or the player's
// site. Its state is its properties; a backend mirrors them.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/geometry.h"

namespace tav {

class Form;

enum class ControlKind {
  PictureBox,
  Label,
  Image,
  Browser,
  PlayerSite,
  Frame,
  CheckBox,
  TextBox,
  CommandButton,
  Timerless,  // controls that are never shown (dde, Inet1, the common dialog)
};

// What changed, for the backend.
enum class Change {
  Visible,
  Enabled,
  Geometry,
  Caption,
  ToolTip,
  Colors,
  Picture,
  Drawing,
  Refresh,
  Value,
  Text,
  Font,
  Pointer,
  WindowState,
  TopMost,
  Region,
  Style,
};

// One step of what a picture box shows: its picture, then the copies drawn
// on it since it was last cleared.
struct DrawOp {
  Picture image;
  Rect source;
  Rect target;
  bool operator==(const DrawOp&) const = default;
};

// Adds a copy to a drawing; it replaces whatever it covers completely, so a
// surface painted again and again keeps one entry per place.
void add_drawing_op(std::vector<DrawOp>& drawing, DrawOp op);

struct MouseEvent {
  int button = 0;  // 1 left, 2 right, 4 middle (a mask while moving)
  int shift = 0;
  int x = 0, y = 0;
};

class Control {
 public:
  Control(Form& form, Control* parent, std::string name, int index, ControlKind kind);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  const std::string& name() const { return name_; }
  int index() const { return index_; }  // -1 for a control that is not in an array
  std::string id() const;              // "npc(7)" or "qk"
  ControlKind kind() const { return kind_; }
  Form& form() const { return form_; }
  Control* parent() const { return parent_; }
  const std::vector<Control*>& children() const { return children_; }
  // Shown on screen: visible itself and every container up to the form.
  bool shown() const;

  bool visible() const { return visible_; }
  void set_visible(bool v);
  bool enabled() const { return enabled_; }
  void set_enabled(bool e);

  // Position and size in pixels of the container.
  int left() const { return geometry_.x; }
  int top() const { return geometry_.y; }
  int width() const { return geometry_.w; }
  int height() const { return geometry_.h; }
  const Rect& geometry() const { return geometry_; }
  void move(int left, int top);
  void move(int left, int top, int width, int height);
  void set_left(int v) { move(v, top()); }
  void set_top(int v) { move(left(), v); }
  void set_width(int v) { move(left(), top(), v, height()); }
  void set_height(int v) { move(left(), top(), width(), v); }
  // The inner size (what children are placed in).
  int scale_width() const { return geometry_.w - 2 * border_; }
  int scale_height() const { return geometry_.h - 2 * border_; }
  void set_border(int pixels) { border_ = pixels; }

  const std::string& caption() const { return caption_; }
  void set_caption(std::string caption);
  const std::string& tooltip() const { return tooltip_; }
  void set_tooltip(std::string tooltip);
  Color fore_color() const { return fore_; }
  Color back_color() const { return back_; }
  void set_fore_color(Color c);
  void set_back_color(Color c);
  int font_size() const { return font_size_; }
  bool font_bold() const { return font_bold_; }
  void set_font(int size, bool bold);
  bool auto_size() const { return auto_size_; }
  void set_auto_size(bool on);
  // A transparent control paints no background: what lies under it shows
  // through its picture's transparent parts. Labels and images are
  // transparent unless made opaque.
  bool transparent() const { return transparent_; }
  void set_transparent(bool on);

  // The picture box's own picture (drawn under its copies) and its surface.
  const Picture& picture() const { return picture_; }
  void set_picture(Picture p);
  const std::vector<DrawOp>& drawing() const { return drawing_; }
  void clear_drawing();
  // Copies a rectangle of an image, unscaled, to (x, y).
  void copy_from(const Picture& image, Rect source, int x, int y);
  // Stretches a rectangle of an image over the target rectangle.
  void stretch_from(const Picture& image, Rect source, Rect target);
  void refresh();

  // Check box value (0 or 1) and text box text.
  int value() const { return value_; }
  void set_value(int v);
  const std::string& text() const { return text_; }
  void set_text(std::string t);

  // Input, raised by the backend (or a script) and handled by the form.
  std::function<void()> on_click;
  std::function<void()> on_dbl_click;
  std::function<void(const MouseEvent&)> on_mouse_down;
  std::function<void(const MouseEvent&)> on_mouse_move;
  std::function<void(const MouseEvent&)> on_mouse_up;

  void click();
  void dbl_click();
  void mouse_down(const MouseEvent& e);
  void mouse_move(const MouseEvent& e);
  void mouse_up(const MouseEvent& e);

  // Opaque pointer for the backend that mirrors this control.
  void* backend_data = nullptr;

 protected:
  void changed(Change what);

 private:
  void fit_to_caption();
  void add_drawing(DrawOp op);

  Form& form_;
  Control* parent_;
  std::vector<Control*> children_;
  std::string name_;
  int index_;
  ControlKind kind_;
  bool visible_ = true;
  bool enabled_ = true;
  Rect geometry_;
  int border_ = 0;
  std::string caption_;
  std::string tooltip_;
  Color fore_ = 0x9C9C81;
  Color back_ = 0x070707;
  int font_size_ = 12;
  bool font_bold_ = false;
  bool auto_size_ = false;
  bool transparent_ = false;
  Picture picture_;
  std::vector<DrawOp> drawing_;
  int value_ = 0;
  std::string text_;
};

}  // namespace tav
