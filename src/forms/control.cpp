#include "forms/control.h"

#include <algorithm>

#include "forms/form.h"

namespace tav {

Control::Control(Form& form, Control* parent, std::string name, int index, ControlKind kind)
    : form_(form), parent_(parent), name_(std::move(name)), index_(index), kind_(kind) {
  if (parent_) parent_->children_.push_back(this);
  transparent_ = kind == ControlKind::Label || kind == ControlKind::Image;
}

Control::~Control() = default;

std::string Control::id() const {
  return index_ < 0 ? name_ : name_ + "(" + std::to_string(index_) + ")";
}

bool Control::shown() const {
  for (const Control* c = this; c; c = c->parent_)
    if (!c->visible_) return false;
  return form_.visible();
}

void Control::changed(Change what) { form_.notify(*this, what); }

void Control::set_visible(bool v) {
  if (visible_ == v) return;
  visible_ = v;
  changed(Change::Visible);
}

void Control::set_enabled(bool e) {
  if (enabled_ == e) return;
  enabled_ = e;
  changed(Change::Enabled);
}

void Control::move(int left, int top) { move(left, top, geometry_.w, geometry_.h); }

void Control::move(int left, int top, int width, int height) {
  // A negative size is refused, as a window refuses it.
  const Rect next{left, top, std::max(0, width), std::max(0, height)};
  if (next == geometry_) return;
  geometry_ = next;
  changed(Change::Geometry);
}

void Control::fit_to_caption() {
  if (!auto_size_) return;
  const Point size = form_.metrics().measure(caption_, font_size_, font_bold_);
  move(left(), top(), size.x, size.y);
}

void Control::set_caption(std::string caption) {
  if (caption == caption_) return;
  caption_ = std::move(caption);
  fit_to_caption();
  changed(Change::Caption);
}

void Control::set_tooltip(std::string tooltip) {
  if (tooltip == tooltip_) return;
  tooltip_ = std::move(tooltip);
  changed(Change::ToolTip);
}

void Control::set_fore_color(Color c) {
  if (c == fore_) return;
  fore_ = c;
  changed(Change::Colors);
}

void Control::set_back_color(Color c) {
  if (c == back_) return;
  back_ = c;
  changed(Change::Colors);
}

void Control::set_font(int size, bool bold) {
  if (size == font_size_ && bold == font_bold_) return;
  font_size_ = size;
  font_bold_ = bold;
  fit_to_caption();
  changed(Change::Font);
}

void Control::set_auto_size(bool on) {
  if (on == auto_size_) return;
  auto_size_ = on;
  fit_to_caption();
}

void Control::set_transparent(bool on) {
  if (on == transparent_) return;
  transparent_ = on;
  changed(Change::Colors);
}

void Control::set_picture(Picture p) {
  if (p == picture_) return;
  picture_ = std::move(p);
  changed(Change::Picture);
}

void Control::clear_drawing() {
  if (drawing_.empty()) return;
  drawing_.clear();
  changed(Change::Drawing);
}

void add_drawing_op(std::vector<DrawOp>& drawing, DrawOp op) {
  std::erase_if(drawing, [&](const DrawOp& old) { return op.target.contains(old.target); });
  drawing.push_back(std::move(op));
}

void Control::add_drawing(DrawOp op) {
  add_drawing_op(drawing_, std::move(op));
  changed(Change::Drawing);
}

void Control::copy_from(const Picture& image, Rect source, int x, int y) {
  add_drawing({image, source, Rect{x, y, source.w, source.h}});
}

void Control::stretch_from(const Picture& image, Rect source, Rect target) {
  add_drawing({image, source, target});
}

void Control::refresh() { changed(Change::Refresh); }

void Control::set_value(int v) {
  if (v == value_) return;
  value_ = v;
  changed(Change::Value);
}

void Control::set_text(std::string t) {
  if (t == text_) return;
  text_ = std::move(t);
  changed(Change::Text);
}

void Control::click() {
  if (on_click) on_click();
}
void Control::dbl_click() {
  if (on_dbl_click) on_dbl_click();
}
void Control::mouse_down(const MouseEvent& e) {
  if (on_mouse_down) on_mouse_down(e);
}
void Control::mouse_move(const MouseEvent& e) {
  if (on_mouse_move) on_mouse_move(e);
}
void Control::mouse_up(const MouseEvent& e) {
  if (on_mouse_up) on_mouse_up(e);
}

}  // namespace tav
