// Desktop services on Qt: dialogs, the screen, the event loop, text
// metrics, skin images and the tray icon.
#pragma once

#include <functional>

#include <QObject>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <map>
#include <memory>

#include "forms/form.h"
#include "platform/dialogs.h"
#include "platform/event_loop.h"
#include "platform/images.h"
#include "platform/screen.h"
#include "platform/tray.h"

namespace tav::qt {

class QtDialogs final : public Dialogs {
 public:
  MsgAnswer message_box(std::string_view text, std::string_view title, MsgButtons buttons,
                        MsgIcon icon) override;
  std::string open_file(std::string_view filter, std::string_view title) override;
  std::string choose_folder(std::string_view initial_folder, std::string_view prompt) override;
  // "caption|*.a;*.b|caption|*.*" as Qt writes it: "caption (*.a *.b);;caption (*)".
  static QString qt_filter(std::string_view filter);
  // Told of every message box once it stands on the screen: its title,
  // text and buttons with their boxes inside it.
  std::function<void(const std::string&)> on_trace;
};

class QtScreen final : public Screen {
 public:
  WorkArea work_area() const override;
  int width_px() const override;
  int height_px() const override;
};

class QtEventLoop final : public EventLoop {
 public:
  void do_events() override;
  void end_process() override;
  void quit() override;
  bool ended() const override { return ended_; }

 private:
  bool ended_ = false;
};

// The font every form uses, at a pixel size.
QFont form_font(int pixel_size, bool bold);

class QtTextMetrics final : public TextMetrics {
 public:
  Point measure(const std::string& text, int font_size, bool bold) const override;
};

// Skin images compiled into the program (":/skin/<id>.png").
class QtImages final : public Images {
 public:
  Picture load_resource(int number) const override;
  // The pixmap of a picture id, cached.
  static const QPixmap& pixmap(const std::string& id);
};

class QtTray final : public QObject, public TrayIcon {
 public:
  QtTray();
  void add(std::string_view tip) override;
  void modify(std::string_view tip) override;
  void show_balloon(std::string_view title, std::string_view text) override;
  void remove() override;
  // The desktop's tray hosts (StatusNotifier watchers and XEmbed trays)
  // drop the icon of a process that ends by themselves: nothing is left
  // behind to sweep.
  void sweep_dead_icons() override {}
  bool shown() const override;

 private:
  std::unique_ptr<QSystemTrayIcon> icon_;
};

}  // namespace tav::qt
