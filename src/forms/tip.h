// tip, the hidden window that owns the program's popup menus.
#pragma once

#include "forms/form.h"

namespace tav {

class BA1;

class Tip final : public Form {
 public:
  explicit Tip(BA1& main);

  BA1& main;
  Menu& myMenu;  // the library page's context menu
  Menu& r_m;     // the main menu
  Menu& webc;    // the history page's entry menu
  Menu& c_fie;   // the task menu
};

}  // namespace tav
