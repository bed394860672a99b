// Desktop services by script: dialogs, the screen, skin images, the tray
// icon and the component registry.
#pragma once

#include <deque>
#include <set>
#include <string>

#include "base/component_registry.h"
#include "platform/dialogs.h"
#include "platform/headless/effect_log.h"
#include "platform/images.h"
#include "platform/screen.h"
#include "platform/tray.h"

namespace tav {

class HeadlessDialogs final : public Dialogs {
 public:
  explicit HeadlessDialogs(EffectLog& log) : log_(log) {}
  MsgAnswer message_box(std::string_view text, std::string_view title, MsgButtons buttons,
                        MsgIcon icon) override;
  std::string open_file(std::string_view filter, std::string_view title) override;
  std::string choose_folder(std::string_view initial_folder, std::string_view prompt) override;
  // Answers given in turn; without one a box answers OK or No, a chooser
  // is cancelled.
  std::deque<MsgAnswer> answers;
  std::deque<std::string> files;
  std::deque<std::string> folders;

 private:
  EffectLog& log_;
};

class HeadlessTray final : public TrayIcon {
 public:
  explicit HeadlessTray(EffectLog& log) : log_(log) {}
  void add(std::string_view tip) override;
  void modify(std::string_view tip) override;
  void show_balloon(std::string_view title, std::string_view text) override;
  void remove() override;
  void sweep_dead_icons() override;
  bool shown() const override { return present && host; }
  bool present = false;
  bool host = true;  // the desktop has a tray
  std::string tip;

 private:
  EffectLog& log_;
};

class HeadlessScreen final : public Screen {
 public:
  WorkArea work_area() const override { return area; }
  int width_px() const override { return width; }
  int height_px() const override { return height; }
  WorkArea area{0, 0, 1366, 728};
  int width = 1366, height = 768;
};

// Fixed sizes of the skin images, as the artwork has them.
class HeadlessImages final : public Images {
 public:
  Picture load_resource(int number) const override;
  std::set<int> missing;
};

class HeadlessRegistry final : public ComponentRegistry {
 public:
  bool can_create(std::string_view class_id) const override {
    return registered.count(std::string(class_id)) != 0;
  }
  std::set<std::string> registered;
};

}  // namespace tav
