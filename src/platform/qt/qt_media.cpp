#include "platform/qt/qt_media.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QWidget>
#include <cmath>

#include "platform/qt/qt_http.h"

namespace tav::qt {

namespace {

const QString kService = QStringLiteral("org.mpris.MediaPlayer2.tavori");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

qlonglong micro(int seconds) { return static_cast<qlonglong>(seconds) * 1000000; }
int seconds_of(qlonglong us) { return static_cast<int>(std::llround(us / 1e6)); }

QString status_text(MediaStatus s) {
  switch (s) {
    case MediaStatus::Playing: return QStringLiteral("Playing");
    case MediaStatus::Paused: return QStringLiteral("Paused");
    default: return QStringLiteral("Stopped");
  }
}

const char* const kIntrospection = R"(
  <interface name="org.mpris.MediaPlayer2">
    <method name="Raise"/>
    <method name="Quit"/>
    <property name="CanQuit" type="b" access="read"/>
    <property name="CanRaise" type="b" access="read"/>
    <property name="HasTrackList" type="b" access="read"/>
    <property name="Identity" type="s" access="read"/>
    <property name="DesktopEntry" type="s" access="read"/>
    <property name="SupportedUriSchemes" type="as" access="read"/>
    <property name="SupportedMimeTypes" type="as" access="read"/>
  </interface>
  <interface name="org.mpris.MediaPlayer2.Player">
    <method name="Next"/>
    <method name="Previous"/>
    <method name="Pause"/>
    <method name="PlayPause"/>
    <method name="Stop"/>
    <method name="Play"/>
    <method name="Seek"><arg name="Offset" type="x" direction="in"/></method>
    <method name="SetPosition">
      <arg name="TrackId" type="o" direction="in"/>
      <arg name="Position" type="x" direction="in"/>
    </method>
    <method name="OpenUri"><arg name="Uri" type="s" direction="in"/></method>
    <signal name="Seeked"><arg name="Position" type="x"/></signal>
    <property name="PlaybackStatus" type="s" access="read"/>
    <property name="Rate" type="d" access="readwrite"/>
    <property name="Metadata" type="a{sv}" access="read"/>
    <property name="Volume" type="d" access="readwrite"/>
    <property name="Position" type="x" access="read"/>
    <property name="MinimumRate" type="d" access="read"/>
    <property name="MaximumRate" type="d" access="read"/>
    <property name="CanGoNext" type="b" access="read"/>
    <property name="CanGoPrevious" type="b" access="read"/>
    <property name="CanPlay" type="b" access="read"/>
    <property name="CanPause" type="b" access="read"/>
    <property name="CanSeek" type="b" access="read"/>
    <property name="CanControl" type="b" access="read"/>
  </interface>
)";

// The program hears of the request on the user-interface thread, once its
// handlers may run (the bus has its answer at once).
void call(const std::function<void()>& f) {
  if (!f) return;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [f] { model_gate().deliver(f); }, Qt::QueuedConnection);
}
void call(const std::function<void(int)>& f, int value) {
  if (!f) return;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [f, value] { model_gate().deliver([f, value] { f(value); }); },
      Qt::QueuedConnection);
}

}  // namespace

QtMediaControls::QtMediaControls() = default;

QtMediaControls::~QtMediaControls() { withdraw(); }

bool QtMediaControls::offer() {
  if (registered_) return true;
  if (tried_) return false;
  tried_ = true;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  if (!bus.registerVirtualObject(kPath, this)) return false;
  if (!bus.registerService(kService)) {
    bus.unregisterObject(kPath);
    return false;
  }
  registered_ = true;
  return true;
}

void QtMediaControls::withdraw() {
  if (!registered_) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.unregisterService(kService);
  bus.unregisterObject(kPath);
  registered_ = false;
  tried_ = false;
}

void QtMediaControls::publish(const MediaState& state) {
  const MediaState old = state_;
  state_ = state;
  if (!offer()) return;
  QVariantMap player;
  if (old.status != state.status) player["PlaybackStatus"] = status_text(state.status);
  if (old.title != state.title || old.length_s != state.length_s || old.has_media != state.has_media)
    player["Metadata"] = metadata();
  if (old.volume != state.volume) player["Volume"] = state.volume / 100.0;
  if (old.can_go_next != state.can_go_next) player["CanGoNext"] = state.can_go_next;
  if (old.can_go_previous != state.can_go_previous) player["CanGoPrevious"] = state.can_go_previous;
  if (old.has_media != state.has_media) {
    player["CanPlay"] = state.has_media;
    player["CanPause"] = state.has_media;
    player["CanSeek"] = state.has_media;
  }
  if (!player.isEmpty()) changed(kPlayer, player);
}

void QtMediaControls::seeked(int position_s) {
  state_.position_s = position_s;
  if (!registered_) return;
  QDBusMessage signal = QDBusMessage::createSignal(kPath, kPlayer, QStringLiteral("Seeked"));
  signal << micro(position_s);
  QDBusConnection::sessionBus().send(signal);
}

void QtMediaControls::changed(const QString& interface, const QVariantMap& properties) {
  QDBusMessage signal =
      QDBusMessage::createSignal(kPath, kProperties, QStringLiteral("PropertiesChanged"));
  signal << interface << properties << QStringList();
  QDBusConnection::sessionBus().send(signal);
}

QVariantMap QtMediaControls::metadata() const {
  QVariantMap m;
  if (!state_.has_media) {
    m["mpris:trackid"] =
        QVariant::fromValue(QDBusObjectPath("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
    return m;
  }
  m["mpris:trackid"] = QVariant::fromValue(QDBusObjectPath("/org/tavori/film"));
  m["xesam:title"] = QString::fromStdString(state_.title);
  if (state_.length_s > 0) m["mpris:length"] = micro(state_.length_s);
  return m;
}

QVariantMap QtMediaControls::root_properties() const {
  return {
      {"CanQuit", false},
      {"CanRaise", false},
      {"HasTrackList", false},
      {"Identity", QStringLiteral("Tavori")},
      {"DesktopEntry", QStringLiteral("tavori")},
      {"SupportedUriSchemes", QStringList()},
      {"SupportedMimeTypes", QStringList()},
  };
}

QVariantMap QtMediaControls::player_properties() const {
  return {
      {"PlaybackStatus", status_text(state_.status)},
      {"Rate", 1.0},
      {"MinimumRate", 1.0},
      {"MaximumRate", 1.0},
      {"Metadata", metadata()},
      {"Volume", state_.volume / 100.0},
      {"Position", micro(state_.position_s)},
      {"CanGoNext", state_.can_go_next},
      {"CanGoPrevious", state_.can_go_previous},
      {"CanPlay", state_.has_media},
      {"CanPause", state_.has_media},
      {"CanSeek", state_.has_media},
      {"CanControl", true},
  };
}

QString QtMediaControls::introspect(const QString& path) const {
  return path == kPath ? QString::fromUtf8(kIntrospection) : QString();
}

bool QtMediaControls::handleMessage(const QDBusMessage& message,
                                    const QDBusConnection& connection) {
  if (message.type() != QDBusMessage::MethodCallMessage) return false;
  const QString interface = message.interface();
  const QString member = message.member();
  const QList<QVariant> args = message.arguments();
  auto reply = [&](const QList<QVariant>& out = {}) {
    connection.send(message.createReply(out));
    return true;
  };
  auto fail = [&](const char* name, const QString& text) {
    connection.send(message.createErrorReply(QString::fromLatin1(name), text));
    return true;
  };

  if (interface == kProperties) {
    const QString of = args.value(0).toString();
    const QVariantMap props = of == kRoot     ? root_properties()
                              : of == kPlayer ? player_properties()
                                              : QVariantMap();
    if (member == "GetAll") return reply({props});
    if (member == "Get") {
      const QString name = args.value(1).toString();
      if (!props.contains(name))
        return fail("org.freedesktop.DBus.Error.UnknownProperty", "No such property " + name);
      return reply({QVariant::fromValue(QDBusVariant(props.value(name)))});
    }
    if (member == "Set") {
      const QString name = args.value(1).toString();
      const QVariant value = args.value(2).value<QDBusVariant>().variant();
      if (of == kPlayer && name == "Volume") {
        call(on_set_volume, static_cast<int>(std::lround(value.toDouble() * 100)));
        return reply();
      }
      if (of == kPlayer && name == "Rate") return reply();  // only the normal rate
      return fail("org.freedesktop.DBus.Error.PropertyReadOnly", name + " cannot be set");
    }
    return false;
  }
  if (interface == kRoot) {
    if (member == "Raise" || member == "Quit") return reply();
    return false;
  }
  if (interface == kPlayer || interface.isEmpty()) {
    if (member == "PlayPause") call(on_play_pause);
    else if (member == "Play") call(on_play);
    else if (member == "Pause") call(on_pause);
    else if (member == "Stop") call(on_stop);
    else if (member == "Next") call(on_next);
    else if (member == "Previous") call(on_previous);
    else if (member == "Seek") call(on_seek, seconds_of(args.value(0).toLongLong()));
    else if (member == "SetPosition") call(on_set_position, seconds_of(args.value(1).toLongLong()));
    else if (member == "OpenUri") return fail("org.freedesktop.DBus.Error.NotSupported", "OpenUri");
    else return false;
    return reply();
  }
  return false;
}

// QtScreenSaver -------------------------------------------------------------------

namespace {

const QString kSaverService = QStringLiteral("org.freedesktop.ScreenSaver");

bool has_saver_service(const QDBusConnection& bus) {
  if (!bus.isConnected() || !bus.interface()) return false;
  return bus.interface()->isServiceRegistered(kSaverService).value();
}

// The main window's X11 id for xdg-screensaver, empty off X11.
QString main_window_id() {
  if (QGuiApplication::platformName() != "xcb") return {};
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isVisible() && !w->parentWidget()) return "0x" + QString::number(w->winId(), 16);
  }
  return {};
}

}  // namespace

QtScreenSaver::~QtScreenSaver() { inhibit(false); }

void QtScreenSaver::inhibit(bool on) {
  if (on ? cookie_ != 0 || !suspended_window_.isEmpty()
         : cookie_ == 0 && suspended_window_.isEmpty())
    return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (on) {
    if (has_saver_service(bus)) {
      QDBusMessage m = QDBusMessage::createMethodCall(kSaverService, "/org/freedesktop/ScreenSaver",
                                                      kSaverService, "Inhibit");
      m << QStringLiteral("tavori") << QStringLiteral("Playing a film");
      const QDBusMessage answer = bus.call(m, QDBus::Block, 2000);
      if (answer.type() == QDBusMessage::ReplyMessage && !answer.arguments().isEmpty()) {
        cookie_ = answer.arguments().first().toUInt();
        if (cookie_ != 0) return;
      }
    }
    const QString tool = QStandardPaths::findExecutable("xdg-screensaver");
    const QString window = main_window_id();
    if (tool.isEmpty() || window.isEmpty()) return;
    if (QProcess::startDetached(tool, {"suspend", window})) suspended_window_ = window;
    return;
  }
  if (cookie_ != 0) {
    QDBusMessage m = QDBusMessage::createMethodCall(kSaverService, "/org/freedesktop/ScreenSaver",
                                                    kSaverService, "UnInhibit");
    m << cookie_;
    bus.send(m);
    cookie_ = 0;
  }
  if (!suspended_window_.isEmpty()) {
    const QString tool = QStandardPaths::findExecutable("xdg-screensaver");
    if (!tool.isEmpty()) QProcess::startDetached(tool, {"resume", suspended_window_});
    suspended_window_.clear();
  }
}

}  // namespace tav::qt
