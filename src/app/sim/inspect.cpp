#include "sim/inspect.h"

#include <cstdio>
#include <stdexcept>
#include <utility>

#include "base/text.h"
#include "forms/ads.h"
#include "forms/ba1.h"
#include "forms/ba3.h"
#include "forms/tip.h"

namespace tav::sim {

namespace {

std::string color(Color c) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "#%06X", c & 0xFFFFFFu);
  return buffer;
}

std::string ops(const std::vector<DrawOp>& drawing) {
  std::string out;
  for (const DrawOp& op : drawing) {
    if (!out.empty()) out += "; ";
    out += op.image.id + "(" + to_text(op.source.x) + "," + to_text(op.source.y) + " " +
           to_text(op.source.w) + "x" + to_text(op.source.h) + ")->(" + to_text(op.target.x) +
           "," + to_text(op.target.y) + " " + to_text(op.target.w) + "x" + to_text(op.target.h) +
           ")";
  }
  return out.empty() ? "(none)" : out;
}

const char* pointer_name(MousePointer p) {
  switch (p) {
    case MousePointer::Default: return "default";
    case MousePointer::Arrow: return "arrow";
    case MousePointer::SizeNS: return "size-ns";
    case MousePointer::SizeWE: return "size-we";
    case MousePointer::SizeNWSE: return "size-nwse";
    case MousePointer::SizeNESW: return "size-nesw";
    case MousePointer::Hand: return "hand";
  }
  return "?";
}

const char* state_name(WindowState s) {
  switch (s) {
    case WindowState::Normal: return "normal";
    case WindowState::Minimized: return "minimized";
    case WindowState::Maximized: return "maximized";
  }
  return "?";
}

std::string yes_no(bool b) { return b ? "true" : "false"; }

// The window a script names; throws when there is no such window or the
// program has not loaded it. Naming tip loads it, as the menus do.
Form& loaded_form(BA1& main, const std::string& name) {
  if (name == "tip") return main.tip();
  if (!form_loaded(main, name)) throw std::runtime_error(name + " is not loaded");
  if (name == "BA3") return *main.ba3();
  if (name == "adsb") return *main.adsb();
  if (name == "ba4") return *main.ba4();
  return main;
}

// "BA3.Check1(0)": the window's name and the rest; a name without a
// window's in front is the main window's.
std::pair<std::string, std::string> split_target(const std::string& name) {
  const std::size_t dot = name.find('.');
  if (dot == std::string::npos || !is_form_name(name.substr(0, dot))) return {"", name};
  return {name.substr(0, dot), name.substr(dot + 1)};
}

const MenuItem* find_item(const Form& form, const std::string& name) {
  for (const auto& menu : form.menus())
    if (const MenuItem* item = menu->find(name)) return item;
  return nullptr;
}

}  // namespace

std::optional<std::string> control_property(const Control& c, const std::string& p) {
  if (p == "visible") return yes_no(c.visible());
  if (p == "shown") return yes_no(c.shown());
  if (p == "enabled") return yes_no(c.enabled());
  if (p == "left") return to_text(c.left());
  if (p == "top") return to_text(c.top());
  if (p == "width") return to_text(c.width());
  if (p == "height") return to_text(c.height());
  if (p == "caption") return c.caption();
  if (p == "tooltip") return c.tooltip();
  if (p == "picture") return c.picture().empty() ? std::string("(none)") : c.picture().id;
  if (p == "drawing") return ops(c.drawing());
  if (p == "forecolor") return color(c.fore_color());
  if (p == "backcolor") return color(c.back_color());
  if (p == "value") return to_text(c.value());
  if (p == "text") return c.text();
  if (p == "autosize") return yes_no(c.auto_size());
  if (const auto* b = dynamic_cast<const Browser*>(&c)) {
    if (p == "location") return b->location();
    if (p == "hooked") return yes_no(b->hooked());
    if (p == "silent") return yes_no(b->silent());
  }
  return std::nullopt;
}

std::optional<std::string> form_property(const Form& f, const std::string& p) {
  if (p == "width") return to_text(f.width());
  if (p == "height") return to_text(f.height());
  if (p == "left") return to_text(f.left());
  if (p == "top") return to_text(f.top());
  if (p == "scalewidth") return to_text(f.scale_width());
  if (p == "scaleheight") return to_text(f.scale_height());
  if (p == "state") return std::string(state_name(f.window_state()));
  if (p == "visible") return yes_no(f.visible());
  if (p == "caption") return f.caption();
  if (p == "topmost") return yes_no(f.top_most());
  if (p == "pointer") return std::string(pointer_name(f.mouse_pointer()));
  if (p == "style") return to_text(f.style());
  if (p == "drawing") return ops(f.drawing());
  if (p == "region") {
    const WindowRegion& r = f.region();
    return to_text(r.width) + "x" + to_text(r.height) + " round " + to_text(r.ellipse_width) +
           "x" + to_text(r.ellipse_height);
  }
  if (p == "limits") {
    const SizeLimits& l = f.size_limits();
    return "min " + to_text(l.min_track_width) + "x" + to_text(l.min_track_height) + " max " +
           to_text(l.max_width) + "x" + to_text(l.max_height);
  }
  return std::nullopt;
}

std::optional<std::string> item_property(const MenuItem& item, const std::string& p) {
  if (p == "visible") return yes_no(item.visible);
  if (p == "enabled") return yes_no(item.enabled);
  if (p == "caption") return item.caption;
  return std::nullopt;
}

std::optional<std::string> field_value(const BA1& w, const std::string& n) {
  const struct {
    const char* name;
    const int* value;
  } ints[] = {{"webPlayMode", &w.webPlayMode},   {"lastPos", &w.lastPos},
              {"resumePos", &w.resumePos},       {"resumeDone", &w.resumeDone},
              {"nextBuffering", &w.nextBuffering}, {"retryTicks", &w.retryTicks},
              {"itemKind", &w.itemKind},         {"libraryFailed", &w.libraryFailed},
              {"adFailed", &w.adFailed},         {"miniMode", &w.miniMode},
              {"tvMode", &w.tvMode},             {"buttonsPainted", &w.buttonsPainted},
              {"currentTab", &w.currentTab},     {"currentSection", &w.currentSection},
              {"sizeMode", &w.sizeMode},         {"savedWidth", &w.savedWidth},
              {"savedHeight", &w.savedHeight}};
  for (const auto& f : ints)
    if (n == f.name) return to_text(*f.value);
  const struct {
    const char* name;
    const std::string* value;
  } texts[] = {{"nextLink", &w.nextLink},         {"nextMedia", &w.nextMedia},
               {"filmKey", &w.filmKey},           {"itemKey", &w.itemKey},
               {"qvodDir", &w.qvodDir},           {"exitNotice", &w.exitNotice},
               {"menuLink", &w.menuLink},         {"settingsPath", &w.settingsPath},
               {"installedVersion", &w.installedVersion}, {"latestVersion", &w.latestVersion}};
  for (const auto& f : texts)
    if (n == f.name) return *f.value;
  if (n == "workArea") {
    const WorkArea& a = w.workArea;
    return to_text(a.left) + "," + to_text(a.top) + "," + to_text(a.right) + "," +
           to_text(a.bottom);
  }
  return std::nullopt;
}

std::string layout_line(const Control& c) {
  return c.id() + " " + to_text(c.left()) + "," + to_text(c.top()) + " " + to_text(c.width()) +
         "x" + to_text(c.height()) + (c.visible() ? "" : " hidden");
}

bool is_form_name(const std::string& name) {
  return name == "BA1" || name == "form" || name == "tip" || name == "BA3" || name == "adsb" ||
         name == "ba4";
}

bool form_loaded(const BA1& main, const std::string& name) {
  if (name == "BA1" || name == "form") return true;
  if (name == "tip") return main.tip_loaded();
  if (name == "BA3") return main.ba3() != nullptr;
  if (name == "adsb") return main.adsb() != nullptr;
  if (name == "ba4") return main.ba4() != nullptr;
  throw std::runtime_error("no form " + name);
}

Target find_target(BA1& main, const std::string& name) {
  Target t;
  if (is_form_name(name)) {
    t.form = &loaded_form(main, name);
    return t;
  }
  const auto [form_name, inner] = split_target(name);
  const Form& form = loaded_form(main, form_name.empty() ? "BA1" : form_name);
  if ((t.control = form.find(inner))) return t;
  if ((t.item = find_item(form, inner))) return t;
  // The menus' items by their names alone, as the main window's controls.
  if (form_name.empty()) {
    const Tip& tip = main.tip();
    if ((t.control = tip.find(inner))) return t;
    if ((t.item = find_item(tip, inner))) return t;
  }
  throw std::runtime_error("no control " + name);
}

Timer* find_timer(BA1& main, const std::string& name) {
  const auto [form_name, inner] = split_target(name);
  return loaded_form(main, form_name.empty() ? "BA1" : form_name).find_timer(inner);
}

}  // namespace tav::sim
