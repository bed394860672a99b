#include "tray/tray_icon.h"

#include "forms/ba1.h"

namespace tav {

void installTray(BA1&, Menu&, const std::string&) {}

void showBalloon(BA1&, const std::string&) {}

void removeTray(BA1&) {}

}  // namespace tav
