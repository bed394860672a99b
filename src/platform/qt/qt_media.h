// The desktop's media controls over D-Bus (the MPRIS media player interfaces
// on the session bus) and the screen saver held off through the desktop's
// screen saver service or xdg-screensaver.
#pragma once

#include <QDBusVirtualObject>
#include <QString>
#include <QVariantMap>

#include "platform/media_controls.h"
#include "platform/screen_saver.h"

namespace tav::qt {

class QtMediaControls final : public QDBusVirtualObject, public MediaControls {
 public:
  QtMediaControls();
  ~QtMediaControls() override;
  // Offers the player on the session bus at the first state; nothing
  // happens without a session bus or when the name is taken.
  void publish(const MediaState& state) override;
  void seeked(int position_s) override;
  void withdraw() override;

  QString introspect(const QString& path) const override;
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

 private:
  bool offer();
  QVariantMap root_properties() const;
  QVariantMap player_properties() const;
  QVariantMap metadata() const;
  void changed(const QString& interface, const QVariantMap& properties);
  bool registered_ = false;
  bool tried_ = false;
  MediaState state_;
};

class QtScreenSaver final : public ScreenSaver {
 public:
  ~QtScreenSaver() override;
  void inhibit(bool on) override;

 private:
  unsigned cookie_ = 0;        // of the desktop's screen saver service
  QString suspended_window_;   // held through xdg-screensaver
};

}  // namespace tav::qt
