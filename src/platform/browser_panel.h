// A browser panel: the engine behind one browser control of a form.
//
// The control (forms/browser.h) raises BeforeNavigate itself before it asks
// the panel to load an address the program navigates to; the panel reports
// navigations that pages start back to the control, which raises
// BeforeNavigate for them and tells the panel whether to go on.
#pragma once

#include <string>
#include <string_view>

namespace tav {

class BrowserPanel {
 public:
  virtual ~BrowserPanel() = default;
  // Loads an address that BeforeNavigate has already let through.
  virtual void load(std::string_view url) = 0;
  // Replaces the current document's content (after a load of about:blank).
  virtual void write_document(std::string_view html) = 0;
  virtual void reload() = 0;
  virtual void back() = 0;
  virtual void forward() = 0;
  virtual void copy() = 0;
  virtual void paste() = 0;
  // Silent: no script-error or script dialog ever reaches the user.
  virtual void set_silent(bool silent) = 0;
  virtual std::string location() const = 0;
};

}  // namespace tav
