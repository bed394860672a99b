// The notification-area icon and its balloon tips.
#pragma once

#include <string>

namespace tav {

class BA1;
struct Menu;

void installTray(BA1& window, Menu& menu, const std::string& tip);
void showBalloon(BA1& window, const std::string& text);
void removeTray(BA1& window);
// Makes the notification area drop the icons of processes that have ended.
void sweepTrayIcons(BA1& window);

}  // namespace tav
