#include "platform/headless/headless_windows.h"

#include "base/player_control.h"
#include "base/text.h"
#include "forms/browser.h"
#include "forms/player_site.h"

namespace tav {

// FakeBrowserPanel -------------------------------------------------------------

void FakeBrowserPanel::load(std::string_view url) {
  if (at_ + 1 < static_cast<int>(history_.size())) history_.resize(at_ + 1);
  history_.emplace_back(url);
  at_ = static_cast<int>(history_.size()) - 1;
  document_.clear();
  log_.add("navigate " + name_ + " " + std::string(url));
}

void FakeBrowserPanel::write_document(std::string_view html) {
  document_ = html;
  log_.add("document " + name_ + " " + quoted(html));
}

void FakeBrowserPanel::reload() { log_.add("refresh " + name_); }

void FakeBrowserPanel::back() {
  if (at_ > 0) log_.add("back " + name_ + " " + history_[--at_]);
}

void FakeBrowserPanel::forward() {
  if (at_ + 1 < static_cast<int>(history_.size())) log_.add("forward " + name_ + " " + history_[++at_]);
}

void FakeBrowserPanel::copy() { log_.add("copy " + name_); }
void FakeBrowserPanel::paste() { log_.add("paste " + name_); }

std::string FakeBrowserPanel::location() const { return at_ >= 0 ? history_[at_] : std::string(); }

// HeadlessWindows --------------------------------------------------------------

void HeadlessWindows::attach(Form& form) {
  forms_.push_back(&form);
  form.set_observer(this);
  for (const auto& c : form.controls()) {
    if (auto* b = dynamic_cast<Browser*>(c.get())) {
      auto panel = std::make_unique<FakeBrowserPanel>(b->name(), log_);
      b->set_panel(panel.get());
      panels_[b] = std::move(panel);
    } else if (auto* site = dynamic_cast<PlayerSite*>(c.get())) {
      if (registry_.can_create(kPlayerClassId)) {
        players_.emplace_back(site, std::make_unique<FakePlayer>(clock_, log_, player_faults));
        site->set_control(players_.back().second.get());
      }
    }
  }
  for (const auto& t : form.timers()) loop_.track(*t);
}

void HeadlessWindows::detach(Form& form) {
  loop_.untrack(form);
  for (const auto& c : form.controls()) {
    if (auto* b = dynamic_cast<Browser*>(c.get())) {
      b->set_panel(nullptr);
      panels_.erase(b);
    } else if (auto* site = dynamic_cast<PlayerSite*>(c.get())) {
      site->set_control(nullptr);
      std::erase_if(players_, [&](const auto& p) { return p.first == site; });
    }
    if (captured_ == c.get()) captured_ = nullptr;
  }
  form.set_observer(nullptr);
  std::erase(forms_, &form);
}

void HeadlessWindows::form_changed(Form& form, Change what) {
  if (what == Change::Caption) log_.add("caption " + form.name() + " " + quoted(form.caption()));
}

void HeadlessWindows::control_changed(Control& control, Change what) {
  if (what == Change::Caption) log_.add("caption " + control.id() + " " + quoted(control.caption()));
}

void HeadlessWindows::set_capture(Control& control) {
  if (captured_ == &control) return;
  captured_ = &control;
  log_.add("capture " + control.id());
}

void HeadlessWindows::release_capture() {
  if (!captured_) return;
  captured_ = nullptr;
  log_.add("release capture");
}

void HeadlessWindows::start_system_move(Form& form) { log_.add("system move " + form.name()); }

void HeadlessWindows::start_system_resize(Form& form, HitCode edge,
                                          std::function<void()> finished) {
  log_.add("system resize " + form.name() + " " + to_text(static_cast<int>(edge)));
  resize_finished_ = std::move(finished);
}

void HeadlessWindows::finish_system_resize() {
  auto finished = std::move(resize_finished_);
  resize_finished_ = nullptr;
  if (finished) finished();
}

void HeadlessWindows::popup_menu(Form&, Menu& menu, std::optional<Point> at) {
  log_.add("popup " + menu.name +
           (at ? " at " + to_text(at->x) + "," + to_text(at->y) : std::string(" at mouse")));
}

FakePlayer* HeadlessWindows::player() const {
  return players_.empty() ? nullptr : players_.back().second.get();
}

FakeBrowserPanel* HeadlessWindows::panel(const Browser& browser) const {
  const auto it = panels_.find(&browser);
  return it == panels_.end() ? nullptr : it->second.get();
}

}  // namespace tav
