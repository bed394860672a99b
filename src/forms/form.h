// A form (a top-level window) with its controls, timers and menus.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/geometry.h"
#include "forms/control.h"

namespace tav {

class Form;
class Timer;
struct Menu;

// Measures label captions for auto-sizing labels.
class TextMetrics {
 public:
  virtual ~TextMetrics() = default;
  virtual Point measure(const std::string& text, int font_size, bool bold) const = 0;
};

// A fixed measure: 7 pixels for a narrow character, 12 for a wide one.
class FixedTextMetrics final : public TextMetrics {
 public:
  Point measure(const std::string& text, int font_size, bool bold) const override;
};

// What a backend sees of the model.
class FormObserver {
 public:
  virtual ~FormObserver() = default;
  virtual void form_changed(Form& form, Change what) = 0;
  virtual void control_changed(Control& control, Change what) = 0;
  virtual void timer_changed(Timer& timer) = 0;
  virtual void menu_changed(Menu& menu) = 0;
};

class Timer {
 public:
  Timer(Form& form, std::string name, int interval_ms, bool enabled);
  const std::string& name() const { return name_; }
  Form& form() const { return form_; }
  int interval() const { return interval_; }
  bool enabled() const { return enabled_; }
  // Enabling a disabled timer starts its interval afresh; enabling an
  // enabled one changes nothing.
  void set_enabled(bool on);
  void set_interval(int ms);
  // Run by the event loop when the interval has passed.
  void tick();
  std::function<void()> on_tick;
  void* backend_data = nullptr;

 private:
  Form& form_;
  std::string name_;
  int interval_;
  bool enabled_;
};

struct MenuItem {
  std::string name;
  std::string caption;  // "-" is a separator
  bool enabled = true;
  bool visible = true;
  std::function<void()> on_click;
  void click() const {
    if (on_click) on_click();
  }
};

struct Menu {
  Form* form = nullptr;
  std::string name;
  std::vector<MenuItem> items;
  MenuItem& item(const std::string& name);
  const MenuItem* find(const std::string& name) const;
  void set_enabled(const std::string& item, bool on);
  void set_visible(const std::string& item, bool on);
};

// The indexes of a control array, for instance npc(0) to npc(15).
class ControlArray {
 public:
  Control& operator()(int index) const;
  bool has(int index) const { return items_.count(index) != 0; }
  void add(int index, Control& c) { items_[index] = &c; }
  const std::map<int, Control*>& items() const { return items_; }

 private:
  std::map<int, Control*> items_;
};

// The size limits of a window, in pixels.
struct SizeLimits {
  int min_track_width = 0, min_track_height = 0;
  int max_width = 0, max_height = 0;
  bool installed = false;
};

// What the window manager is told of a window's size limits: where and how
// big it is when maximised, and the sizes the user may drag it between.
struct MinMaxInfo {
  Point max_size, max_position, min_track_size, max_track_size;
};
MinMaxInfo min_max_info(const SizeLimits& limits);

// A rounded rectangle that clips the window, in pixels.
struct WindowRegion {
  int width = 0, height = 0;
  int ellipse_width = 0, ellipse_height = 0;
  bool operator==(const WindowRegion&) const = default;
};

class Form {
 public:
  explicit Form(std::string name);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const std::string& name() const { return name_; }

  // Outer size and position in twips.
  int width() const { return width_; }
  int height() const { return height_; }
  int left() const { return left_; }
  int top() const { return top_; }
  void set_width(int twips);
  void set_height(int twips);
  void set_size(int width_twips, int height_twips);
  void set_left(int twips);
  void set_top(int twips);
  // Client size in pixels (the window has no border).
  int scale_width() const { return twips_to_pixels(width_); }
  int scale_height() const { return twips_to_pixels(height_); }
  static int twips_to_pixels(int twips);

  WindowState window_state() const { return state_; }
  // Maximising takes the size limits' maximum size at the top-left corner;
  // going back to normal restores the size it had before.
  void set_window_state(WindowState s);
  bool visible() const { return visible_; }
  void show();
  void hide();
  const std::string& caption() const { return caption_; }
  void set_caption(std::string c);
  bool top_most() const { return top_most_; }
  void set_top_most(bool on);
  const WindowRegion& region() const { return region_; }
  void set_region(WindowRegion r);
  MousePointer mouse_pointer() const { return pointer_; }
  void set_mouse_pointer(MousePointer p);
  bool key_preview() const { return key_preview_; }
  void set_key_preview(bool on) { key_preview_ = on; }
  // A borderless window draws its own frame and caption.
  bool borderless() const { return borderless_; }
  void set_borderless(bool on) { borderless_ = on; }
  // A window that pops up by itself leaves the keyboard where it is when it
  // is shown (set before the backend mirrors the form).
  bool shown_without_focus() const { return shown_without_focus_; }
  void set_shown_without_focus(bool on) { shown_without_focus_ = on; }
  // The minimise-box and maximise-box style bits.
  int style() const { return style_; }
  void set_style(int bits);
  const SizeLimits& size_limits() const { return limits_; }
  void set_size_limits(SizeLimits l) { limits_ = l; }

  // The form's own surface (the skinned frame).
  const std::vector<DrawOp>& drawing() const { return drawing_; }
  void clear_drawing();
  void copy_from(const Picture& image, Rect source, int x, int y);
  void stretch_from(const Picture& image, Rect source, Rect target);
  void refresh();

  // Controls, timers and menus of the form, in declaration order.
  const std::vector<std::unique_ptr<Control>>& controls() const { return controls_; }
  Control* find(const std::string& name, int index) const;
  Control* find(const std::string& id) const;  // "npc(7)" or "qk"
  const std::vector<std::unique_ptr<Timer>>& timers() const { return timers_; }
  Timer* find_timer(const std::string& name) const;
  const std::vector<std::unique_ptr<Menu>>& menus() const { return menus_; }
  Menu* find_menu(const std::string& name) const;

  // Input raised by the backend; the form's handlers are attached here.
  std::function<void()> on_resize;
  std::function<void(const MouseEvent&)> on_mouse_down;
  std::function<void(const MouseEvent&)> on_mouse_move;
  std::function<void(const MouseEvent&)> on_mouse_up;
  std::function<void()> on_dbl_click;
  std::function<void(int key, int shift)> on_key_down;
  // The window manager asks the window to close (its own close command).
  std::function<void()> on_close_request;

  void resize_event();
  void mouse_down(const MouseEvent& e);
  void mouse_move(const MouseEvent& e);
  void mouse_up(const MouseEvent& e);
  void dbl_click();
  void key_down(int key, int shift);

  // The backend's view: what it observes, and the size it reports.
  FormObserver* observer() const { return observer_; }
  void set_observer(FormObserver* o) { observer_ = o; }
  const TextMetrics& metrics() const { return *metrics_; }
  void set_metrics(const TextMetrics* m) { metrics_ = m ? m : &fixed_metrics_; }
  // The user moved or resized the window: take the new size and run the
  // resize handler.
  void backend_resized(int left_px, int top_px, int width_px, int height_px);
  void backend_state_changed(WindowState s);
  void* backend_data = nullptr;

  void notify(Change what);
  void notify(Control& c, Change what);
  void notify(Timer& t);
  void notify(Menu& m);

 protected:
  Control& add(std::unique_ptr<Control> c);
  Control& add(Control* parent, const std::string& name, int index, ControlKind kind,
               Rect geometry);
  Timer& add_timer(const std::string& name, int interval, bool enabled);
  Menu& add_menu(const std::string& name, std::vector<MenuItem> items);

 private:
  void size_changed();

  std::string name_;
  int width_ = 0, height_ = 0, left_ = 0, top_ = 0;
  WindowState state_ = WindowState::Normal;
  struct Bounds {
    int left, top, width, height;
  };
  std::optional<Bounds> normal_bounds_;
  bool visible_ = false;
  std::string caption_;
  bool top_most_ = false;
  WindowRegion region_;
  MousePointer pointer_ = MousePointer::Default;
  bool key_preview_ = false;
  bool borderless_ = false;
  bool shown_without_focus_ = false;
  int style_ = 0;
  SizeLimits limits_;
  std::vector<DrawOp> drawing_;
  std::vector<std::unique_ptr<Control>> controls_;
  std::vector<std::unique_ptr<Timer>> timers_;
  std::vector<std::unique_ptr<Menu>> menus_;
  FormObserver* observer_ = nullptr;
  FixedTextMetrics fixed_metrics_;
  const TextMetrics* metrics_ = &fixed_metrics_;
  int resize_depth_ = 0;
};

}  // namespace tav
