// The notification-area icon.
#pragma once

#include <functional>
#include <string_view>

namespace tav {

class TrayIcon {
 public:
  virtual ~TrayIcon() = default;
  virtual void add(std::string_view tip) = 0;
  virtual void modify(std::string_view tip) = 0;
  virtual void show_balloon(std::string_view title, std::string_view text) = 0;
  virtual void remove() = 0;
  // True while the icon stands in a tray the user can click: false before
  // it is added and on a desktop without any tray.
  virtual bool shown() const = 0;
  // Makes the notification area drop icons that ended processes left
  // behind, where it keeps them (nothing to do where the tray host drops
  // them by itself).
  virtual void sweep_dead_icons() = 0;
  // Clicks on the icon (left and right button released).
  std::function<void()> on_left_click;
  std::function<void()> on_right_click;
};

}  // namespace tav
