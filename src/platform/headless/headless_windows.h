// The forms mirrored without a display: browser panels that record their
// loads, players, timers on the loop, capture, moves and menus.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/component_registry.h"
#include "forms/form.h"
#include "platform/browser_panel.h"
#include "platform/clock.h"
#include "platform/headless/effect_log.h"
#include "platform/headless/headless_loop.h"
#include "platform/headless/headless_player.h"
#include "platform/window_system.h"

namespace tav {

class Browser;

class FakeBrowserPanel final : public BrowserPanel {
 public:
  FakeBrowserPanel(std::string name, EffectLog& log) : name_(std::move(name)), log_(log) {}
  void load(std::string_view url) override;
  void write_document(std::string_view html) override;
  void reload() override;
  void back() override;
  void forward() override;
  void copy() override;
  void paste() override;
  void set_silent(bool silent) override { silent_ = silent; }
  std::string location() const override;
  const std::string& document() const { return document_; }
  bool silent() const { return silent_; }

 private:
  std::string name_;
  EffectLog& log_;
  std::vector<std::string> history_;
  int at_ = -1;
  std::string document_;
  bool silent_ = false;
};

// Mirrors forms without a display: engines for browsers and the player,
// timers on the loop, a record of capture, moves and menus.
class HeadlessWindows final : public WindowSystem, public FormObserver {
 public:
  HeadlessWindows(HeadlessLoop& loop, const ComponentRegistry& registry, const Clock& clock,
                  EffectLog& log)
      : loop_(loop), registry_(registry), clock_(clock), log_(log) {}
  // Faults of every player control, present and future.
  PlayerFaults player_faults;
  void attach(Form& form) override;
  void detach(Form& form) override;
  void set_capture(Control& control) override;
  void release_capture() override;
  void start_system_move(Form& form) override;
  void start_system_resize(Form& form, HitCode edge, std::function<void()> finished) override;
  // The user lets go of the mouse button: a running system resize ends.
  void finish_system_resize();
  void popup_menu(Form& owner, Menu& menu, std::optional<Point> at) override;

  // Caption changes are logged: "caption ID "TEXT"".
  void form_changed(Form& form, Change what) override;
  void control_changed(Control& control, Change what) override;
  void timer_changed(Timer& timer) override { loop_.timer_changed(timer); }
  void menu_changed(Menu&) override {}

  FakeBrowserPanel* panel(const Browser& browser) const;
  // The player of the main window attached last.
  FakePlayer* player() const;
  Control* captured() const { return captured_; }
  std::vector<Form*> forms() const { return forms_; }

 private:
  HeadlessLoop& loop_;
  const ComponentRegistry& registry_;
  const Clock& clock_;
  EffectLog& log_;
  std::vector<Form*> forms_;
  std::map<const Browser*, std::unique_ptr<FakeBrowserPanel>> panels_;
  std::vector<std::pair<const Control*, std::unique_ptr<FakePlayer>>> players_;
  Control* captured_ = nullptr;
  std::function<void()> resize_finished_;
};

}  // namespace tav
