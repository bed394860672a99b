// The notification-area icon and its balloon tips.
#pragma once

#include <string>

namespace tav {

class BA1;
struct Menu;

void installTray(BA1& window, Menu& menu, const std::string& tip);
void showBalloon(BA1& window, const std::string& text);
void removeTray(BA1& window);
// A left click on the icon: a minimised window is restored, a visible one
// hidden, a hidden one shown.
void trayLeftClick(BA1& window);
// Hides the window to the tray (the close button's choice).
void hideToTray(BA1& window);
// Makes the notification area drop the icons of processes that have ended.
void sweepTrayIcons(BA1& window);

}  // namespace tav
