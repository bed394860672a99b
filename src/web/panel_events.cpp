// The browser panels' own events: silence, hooked documents with the
// program's context menus, and the library's and the ad's failure pictures.
#include "base/text.h"
#include "forms/ba1.h"
#include "forms/tip.h"
#include "platform/window_system.h"

namespace tav {

void BA1::wire_panel_events() {
  for (Browser* b : {&Web1, &Web2, &Web3, &Web4, &Web5, &Web6, &Web7, &Webz2, &Webz3})
    b->on_download_begin = [b] { b->set_silent(true); };
  for (Browser* b : {&Web1, &Web3, &Web4, &Webz2, &Webz3}) {
    b->on_download_complete = [this, b] {
      b->set_hooked(true);
      if (b == &Web1 && libraryFailed != 1) {
        Pic1.set_visible(true);
        wait.set_visible(false);
      }
    };
  }
  Web1.on_navigate_error = [this](const std::string& url, int, bool&) {
    if (!contains(url, server.base())) return;  // frames of other hosts, pseudo-schemes
    Pic1.set_visible(false);
    wait.set_visible(true);
    jia.set_visible(false);
    jia1.set_visible(true);
    libraryFailed = 1;
  };
  Web7.on_navigate_error = [this](const std::string&, int, bool&) {
    ad_huan.set_visible(false);
    adp.set_visible(true);
    adFailed = 1;
  };
  Web1.on_context_menu = [this](const std::string&) {
    pf.windows.popup_menu(*this, tip().myMenu, std::nullopt);
  };
  Web3.on_context_menu = [this](const std::string& href) {
    Menu& menu = tip().webc;
    menu.set_visible("c_shan2", true);
    const bool entry = contains(href, "open://");
    if (entry) menuLink = href;
    for (const char* item : {"c_shan2", "c_shan", "c_f"}) menu.set_enabled(item, entry);
    pf.windows.popup_menu(*this, menu, std::nullopt);
  };
  // The episode page, the TV page and the second library keep their right
  // clicks to themselves.
  for (Browser* b : {&Web4, &Webz2, &Webz3}) b->on_context_menu = [](const std::string&) {};
}

}  // namespace tav
