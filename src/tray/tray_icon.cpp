#include "tray/tray_icon.h"

#include "forms/ba1.h"
#include "forms/tip.h"
#include "platform/tray.h"
#include "platform/window_system.h"

namespace tav {

namespace {
constexpr std::string_view kBalloonTitle = "Tavori提示:";
}

void installTray(BA1& window, Menu&, const std::string& tip) {
  TrayIcon& tray = window.pf.tray;
  tray.on_left_click = [&window] { trayLeftClick(window); };
  // The menu window may have been unloaded and made again since: its main
  // menu is looked up at the click.
  tray.on_right_click = [&window] {
    window.pf.windows.popup_menu(window, window.tip().r_m, std::nullopt);
  };
  tray.add(tip);
}

void trayLeftClick(BA1& window) {
  if (window.window_state() == WindowState::Minimized) {
    window.set_window_state(WindowState::Normal);
  } else if (window.visible()) {
    window.hide();
  } else {
    window.show();
  }
}

void showBalloon(BA1& window, const std::string& text) {
  window.pf.tray.show_balloon(kBalloonTitle, text);
}

void removeTray(BA1& window) {
  TrayIcon& tray = window.pf.tray;
  tray.on_left_click = nullptr;
  tray.on_right_click = nullptr;
  tray.remove();
}

void hideToTray(BA1& window) {
  // Without a tray to click, a hidden window could not be reached again:
  // it goes to the task bar instead.
  if (window.pf.tray.shown()) {
    window.hide();
  } else {
    window.set_window_state(WindowState::Minimized);
  }
}

void sweepTrayIcons(BA1& window) { window.pf.tray.sweep_dead_icons(); }

}  // namespace tav
