#include "tray/tray_icon.h"

#include "forms/ba1.h"
#include "platform/tray.h"

namespace tav {

namespace {
constexpr std::string_view kBalloonTitle = "Tavori提示:";
}

void installTray(BA1&, Menu&, const std::string&) {}

void showBalloon(BA1& window, const std::string& text) {
  window.pf.tray.show_balloon(kBalloonTitle, text);
}

void removeTray(BA1&) {}

void sweepTrayIcons(BA1& window) { window.pf.tray.sweep_dead_icons(); }

}  // namespace tav
