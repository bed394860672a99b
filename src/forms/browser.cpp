#include "forms/browser.h"

#include "platform/browser_panel.h"

namespace tav {

Browser::Browser(Form& form, Control* parent, std::string name)
    : Control(form, parent, std::move(name), -1, ControlKind::Browser) {}

bool Browser::before_navigate(const std::string& url) {
  bool cancel = false;
  if (on_before_navigate) on_before_navigate(url, cancel);
  return !cancel;
}

void Browser::navigate(const std::string& url) {
  if (!before_navigate(url)) return;
  if (panel_) panel_->load(url);
}

void Browser::write_document(const std::string& html) {
  if (panel_) panel_->write_document(html);
}

void Browser::refresh2() {
  if (panel_) panel_->reload();
}

void Browser::go_back() {
  if (panel_) panel_->back();
}

void Browser::go_forward() {
  if (panel_) panel_->forward();
}

void Browser::exec_copy() {
  if (panel_) panel_->copy();
}

void Browser::paste() {
  if (panel_) panel_->paste();
}

void Browser::set_silent(bool on) {
  silent_ = on;
  if (panel_) panel_->set_silent(on);
}

std::string Browser::location() const { return panel_ ? panel_->location() : std::string(); }

bool Browser::page_navigation(const std::string& url) { return before_navigate(url); }

void Browser::download_begin() {
  if (on_download_begin) on_download_begin();
}

void Browser::download_complete() {
  if (on_download_complete) on_download_complete();
}

void Browser::navigate_error(const std::string& url, int status) {
  bool cancel = false;
  if (on_navigate_error) on_navigate_error(url, status, cancel);
}

bool Browser::new_window() {
  bool cancel = false;
  if (on_new_window) on_new_window(cancel);
  return !cancel;
}

bool Browser::context_menu(const std::string& href) {
  if (!hooked_) return true;
  if (on_context_menu) on_context_menu(href);
  return false;
}

}  // namespace tav
