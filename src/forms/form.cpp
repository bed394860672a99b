#include "forms/form.h"

#include <stdexcept>

#include "base/text.h"

namespace tav {

Point FixedTextMetrics::measure(const std::string& text, int font_size, bool) const {
  int width = 0;
  for (const char32_t cp : utf8_code_points(text)) width += cp < 0x2E80 ? 7 : 12;
  return {width, font_size + 4};
}

// Timer ------------------------------------------------------------------

Timer::Timer(Form& form, std::string name, int interval_ms, bool enabled)
    : form_(form), name_(std::move(name)), interval_(interval_ms), enabled_(enabled) {}

void Timer::set_enabled(bool on) {
  if (on == enabled_) return;
  enabled_ = on;
  form_.notify(*this);
}

void Timer::set_interval(int ms) {
  if (ms == interval_) return;
  interval_ = ms;
  form_.notify(*this);
}

void Timer::tick() {
  if (enabled_ && interval_ > 0 && on_tick) on_tick();
}

// Menu -------------------------------------------------------------------

MenuItem& Menu::item(const std::string& item_name) {
  for (MenuItem& i : items)
    if (i.name == item_name) return i;
  throw std::out_of_range("no menu item " + item_name + " in " + name);
}

const MenuItem* Menu::find(const std::string& item_name) const {
  for (const MenuItem& i : items)
    if (i.name == item_name) return &i;
  return nullptr;
}

void Menu::set_enabled(const std::string& item_name, bool on) {
  MenuItem& i = item(item_name);
  if (i.enabled == on) return;
  i.enabled = on;
  if (form) form->notify(*this);
}

void Menu::set_visible(const std::string& item_name, bool on) {
  MenuItem& i = item(item_name);
  if (i.visible == on) return;
  i.visible = on;
  if (form) form->notify(*this);
}

Control& ControlArray::operator()(int index) const {
  const auto it = items_.find(index);
  if (it == items_.end()) throw std::out_of_range("no control array element " + std::to_string(index));
  return *it->second;
}

MinMaxInfo min_max_info(const SizeLimits& l) {
  return {{l.max_width, l.max_height},
          {0, 0},
          {l.min_track_width, l.min_track_height},
          {l.max_width, l.max_height}};
}

// Form -------------------------------------------------------------------

Form::Form(std::string name) : name_(std::move(name)) {}
Form::~Form() = default;

int Form::twips_to_pixels(int twips) {
  // Nearest pixel, 15 twips to the pixel; in 64 bits, as a size from
  // config.ini may be anything a 32-bit number holds.
  const long long t = twips;
  return static_cast<int>(t >= 0 ? (t * 2 + 15) / 30 : -((-t * 2 + 15) / 30));
}

void Form::notify(Change what) {
  if (observer_) observer_->form_changed(*this, what);
}
void Form::notify(Control& c, Change what) {
  if (observer_) observer_->control_changed(c, what);
}
void Form::notify(Timer& t) {
  if (observer_) observer_->timer_changed(t);
}
void Form::notify(Menu& m) {
  if (observer_) observer_->menu_changed(m);
}

void Form::size_changed() {
  notify(Change::Geometry);
  resize_event();
}

void Form::set_width(int twips) { set_size(twips, height_); }
void Form::set_height(int twips) { set_size(width_, twips); }

void Form::set_size(int width_twips, int height_twips) {
  if (width_twips < 0) width_twips = 0;
  if (height_twips < 0) height_twips = 0;
  if (width_twips == width_ && height_twips == height_) return;
  width_ = width_twips;
  height_ = height_twips;
  size_changed();
}

void Form::set_left(int twips) {
  if (twips == left_) return;
  left_ = twips;
  notify(Change::Geometry);
}

void Form::set_top(int twips) {
  if (twips == top_) return;
  top_ = twips;
  notify(Change::Geometry);
}

void Form::set_window_state(WindowState s) {
  if (s == state_) return;
  const WindowState before = state_;
  state_ = s;
  if (s == WindowState::Maximized) {
    if (before == WindowState::Normal) normal_bounds_ = Bounds{left_, top_, width_, height_};
    if (limits_.installed) {
      const MinMaxInfo info = min_max_info(limits_);
      left_ = info.max_position.x * 15;
      top_ = info.max_position.y * 15;
      width_ = info.max_size.x * 15;
      height_ = info.max_size.y * 15;
    }
  } else if (s == WindowState::Normal && before == WindowState::Maximized && normal_bounds_) {
    left_ = normal_bounds_->left;
    top_ = normal_bounds_->top;
    width_ = normal_bounds_->width;
    height_ = normal_bounds_->height;
  }
  notify(Change::WindowState);
  size_changed();
}

void Form::backend_resized(int left_px, int top_px, int width_px, int height_px) {
  left_ = left_px * 15;
  top_ = top_px * 15;
  if (width_px * 15 == width_ && height_px * 15 == height_) return;
  width_ = width_px * 15;
  height_ = height_px * 15;
  resize_event();
}

void Form::backend_state_changed(WindowState s) { set_window_state(s); }

void Form::show() {
  if (visible_) return;
  visible_ = true;
  notify(Change::Visible);
}

void Form::hide() {
  if (!visible_) return;
  visible_ = false;
  notify(Change::Visible);
}

void Form::set_caption(std::string c) {
  if (c == caption_) return;
  caption_ = std::move(c);
  notify(Change::Caption);
}

void Form::set_top_most(bool on) {
  if (on == top_most_) return;
  top_most_ = on;
  notify(Change::TopMost);
}

void Form::set_region(WindowRegion r) {
  region_ = r;
  notify(Change::Region);
}

void Form::set_mouse_pointer(MousePointer p) {
  if (p == pointer_) return;
  pointer_ = p;
  notify(Change::Pointer);
}

void Form::set_style(int bits) {
  if (bits == style_) return;
  style_ = bits;
  notify(Change::Style);
}

void Form::clear_drawing() {
  drawing_.clear();
  notify(Change::Drawing);
}

void Form::copy_from(const Picture& image, Rect source, int x, int y) {
  stretch_from(image, source, Rect{x, y, source.w, source.h});
}

void Form::stretch_from(const Picture& image, Rect source, Rect target) {
  add_drawing_op(drawing_, {image, source, target});
  notify(Change::Drawing);
}

void Form::refresh() { notify(Change::Refresh); }

Control* Form::find(const std::string& control_name, int index) const {
  for (const auto& c : controls_)
    if (c->name() == control_name && c->index() == index) return c.get();
  return nullptr;
}

Control* Form::find(const std::string& id) const {
  const std::size_t open = id.find('(');
  if (open == std::string::npos || id.back() != ')') return find(id, -1);
  const auto index = parse_int32(id.substr(open + 1, id.size() - open - 2));
  if (!index) return nullptr;
  return find(id.substr(0, open), *index);
}

Timer* Form::find_timer(const std::string& timer_name) const {
  for (const auto& t : timers_)
    if (t->name() == timer_name) return t.get();
  return nullptr;
}

Menu* Form::find_menu(const std::string& menu_name) const {
  for (const auto& m : menus_)
    if (m->name == menu_name) return m.get();
  return nullptr;
}

void Form::resize_event() {
  // A resize handler that sets the size again runs nested, as a window's
  // does; a runaway chain is cut off.
  if (resize_depth_ > 8 || !on_resize) return;
  ++resize_depth_;
  on_resize();
  --resize_depth_;
}

void Form::mouse_down(const MouseEvent& e) {
  if (on_mouse_down) on_mouse_down(e);
}
void Form::mouse_move(const MouseEvent& e) {
  if (on_mouse_move) on_mouse_move(e);
}
void Form::mouse_up(const MouseEvent& e) {
  if (on_mouse_up) on_mouse_up(e);
}
void Form::dbl_click() {
  if (on_dbl_click) on_dbl_click();
}
void Form::key_down(int key, int shift) {
  if (on_key_down) on_key_down(key, shift);
}

Control& Form::add(std::unique_ptr<Control> c) {
  controls_.push_back(std::move(c));
  return *controls_.back();
}

Control& Form::add(Control* parent, const std::string& control_name, int index, ControlKind kind,
                   Rect geometry) {
  Control& c = add(std::make_unique<Control>(*this, parent, control_name, index, kind));
  c.move(geometry.x, geometry.y, geometry.w, geometry.h);
  return c;
}

Timer& Form::add_timer(const std::string& timer_name, int interval, bool enabled) {
  timers_.push_back(std::make_unique<Timer>(*this, timer_name, interval, enabled));
  return *timers_.back();
}

Menu& Form::add_menu(const std::string& menu_name, std::vector<MenuItem> items) {
  auto m = std::make_unique<Menu>();
  m->form = this;
  m->name = menu_name;
  m->items = std::move(items);
  menus_.push_back(std::move(m));
  return *menus_.back();
}

}  // namespace tav
