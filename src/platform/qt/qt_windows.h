// The desktop mirror of the form model: a window per form, a widget per
// control, a QTimer per timer, engines behind browsers and the player site.
// The windows are in qt_form_window, the controls' own widgets in
// qt_control_widget, the players in qt_player_host and the menus in
// qt_menu.cpp.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "forms/form.h"
#include "platform/qt/qt_player_host.h"
#include "platform/window_system.h"

namespace tav {
class Browser;
namespace suite {
class FileComponentRegistry;
}  // namespace suite
}  // namespace tav

namespace tav::qt {

class QtBrowserPanel;
class FormWindow;

class QtWindows final : public QObject, public WindowSystem, public FormObserver {
 public:
  explicit QtWindows(const suite::FileComponentRegistry& registry);
  ~QtWindows() override;

  void attach(Form& form) override;
  void detach(Form& form) override;
  void set_capture(Control& control) override;
  void release_capture() override;
  void start_system_move(Form& form) override;
  void start_system_resize(Form& form, HitCode edge, std::function<void()> finished) override;
  void popup_menu(Form& owner, Menu& menu, std::optional<Point> at) override;

  void form_changed(Form& form, Change what) override;
  void control_changed(Control& control, Change what) override;
  void timer_changed(Timer& timer) override;
  void menu_changed(Menu&) override {}

  // Writes a line for every caption, tooltip and visibility change, every
  // panel load and every call on the player to the file (for diagnostics
  // and the desktop tests).
  void set_trace(const std::string& path);
  void trace(const std::string& line);
  // Where the pages' new windows open: the desktop's browser.
  void set_open_elsewhere(std::function<void(const std::string&)> open) {
    open_elsewhere_ = std::move(open);
  }

  // Ends any pointer capture before a modal box, a file dialog or a menu
  // takes the input: the box could not be answered with the mouse else. The
  // control that held the capture hears that the pointer left it.
  static void release_pointer_for_modal();
  // While one lives, a menu asked for is the tray icon's: the click came
  // on the icon, which may lie where none of the program's windows is.
  class TrayMenuScope {
   public:
    TrayMenuScope();
    ~TrayMenuScope();
    TrayMenuScope(const TrayMenuScope&) = delete;
    TrayMenuScope& operator=(const TrayMenuScope&) = delete;
  };

  static QWidget* widget_of(const Control& control);
  static FormWindow* window_of(const Form& form);
  // Why the player could not be made, or "" (shown in the player area).
  const std::string& player_problem() const { return players_.problem(); }

 private:
  QWidget* make_widget(Control& control, QWidget* parent);
  void apply_form(Form& form, Change what);
  void apply_control(Control& control, Change what);
  void flush_detached();

  std::unique_ptr<std::FILE, int (*)(std::FILE*)> trace_{nullptr, &std::fclose};
  std::map<const Browser*, std::unique_ptr<QtBrowserPanel>> panels_;
  QtPlayers players_;
  std::function<void(const std::string&)> open_elsewhere_;
  // Unloaded forms' widgets and panels, deleted on the next turn of the
  // event loop.
  std::vector<std::unique_ptr<QtBrowserPanel>> detached_panels_;
  std::vector<QPointer<FormWindow>> detached_windows_;
  bool flush_pending_ = false;
};

}  // namespace tav::qt
