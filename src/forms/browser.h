// A browser control: the form's side of a browser panel.
//
// Navigations the program starts raise BeforeNavigate here, synchronously,
// and reach the panel only when no handler cancelled them. Navigations a
// page starts come back from the panel through page_navigation, which raises
// the same event and says whether the panel may go on.
#pragma once

#include <functional>
#include <string>

#include "forms/control.h"

namespace tav {

class BrowserPanel;

class Browser final : public Control {
 public:
  Browser(Form& form, Control* parent, std::string name);

  void navigate(const std::string& url);
  void navigate2(const std::string& url) { navigate(url); }
  void write_document(const std::string& html);
  void refresh2();
  void go_back();
  void go_forward();
  void exec_copy();
  void paste();
  bool silent() const { return silent_; }
  void set_silent(bool on);
  std::string location() const;
  // A hooked document's right clicks reach on_context_menu and the
  // browser's own menu stays closed.
  bool hooked() const { return hooked_; }
  void set_hooked(bool on) { hooked_ = on; }

  std::function<void(const std::string& url, bool& cancel)> on_before_navigate;
  std::function<void()> on_download_begin;
  std::function<void()> on_download_complete;
  std::function<void(const std::string& url, int status, bool& cancel)> on_navigate_error;
  std::function<void(bool& cancel)> on_new_window;
  std::function<void(const std::string& href)> on_context_menu;

  // Raised by the backend. page_navigation and new_window return whether the
  // panel may go on; context_menu whether the browser's own menu may show.
  bool page_navigation(const std::string& url);
  void download_begin();
  void download_complete();
  void navigate_error(const std::string& url, int status);
  bool new_window();
  bool context_menu(const std::string& href);

  BrowserPanel* panel() const { return panel_; }
  void set_panel(BrowserPanel* panel) { panel_ = panel; }

 private:
  bool before_navigate(const std::string& url);

  BrowserPanel* panel_ = nullptr;
  bool silent_ = false;
  bool hooked_ = false;
};

}  // namespace tav
