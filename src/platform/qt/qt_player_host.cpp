#include "platform/qt/qt_player_host.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QLabel>
#include <QLibrary>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <vector>

#include "forms/player_site.h"
#include "base/player_control.h"
#include "platform/qt/qt_skin.h"
#include "suite/player/embedded_player.h"
#include "suite/registry/file_component_registry.h"

namespace tav::qt {

namespace {

// The player area: the player library's video widget fills it.
class PlayerHost final : public QWidget {
 public:
  explicit PlayerHost(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, skin::color(skin::kPicture));
    setPalette(pal);
    setAutoFillBackground(true);
  }
  void show_message(const QString& text) {
    if (!message_) {
      message_ = new QLabel(this);
      message_->setAlignment(Qt::AlignCenter);
      message_->setWordWrap(true);
      message_->setStyleSheet(skin::player_message_style_sheet());
      layout()->addWidget(message_);
    }
    message_->setText(text);
  }
  void clear_message() {
    delete message_;
    message_ = nullptr;
  }
  // The player's video becomes a window of its own in full screen: it covers
  // the whole screen, also where no window manager does that for it.
  void watch_full_screen(QWidget* video) {
    video_ = video;
    video->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* o, QEvent* e) override {
    if (o == video_ && (e->type() == QEvent::WindowStateChange || e->type() == QEvent::Show))
      // A window manager makes the window cover the screen by itself, and
      // a request for its size made meanwhile would race it (sway then
      // lays out an XWayland window as an ordinary one): only where the
      // window is not covering the screen a moment later.
      QTimer::singleShot(300, this, [this] { cover_screen(); });
    return QWidget::eventFilter(o, e);
  }

 private:
  void cover_screen() {
    QWidget* v = video_;
    if (!v || !v->isWindow() || !(v->windowState() & Qt::WindowFullScreen)) return;
    QScreen* s = window()->screen();
    if (!s) s = QGuiApplication::primaryScreen();
    if (s && v->geometry() != s->geometry()) {
      v->setGeometry(s->geometry());
      v->raise();
    }
  }

  QPointer<QWidget> video_;
  QPointer<QLabel> message_;
};

// A player control that writes every call it passes on to the trace.
class TracingPlayer final : public PlayerControl {
 public:
  TracingPlayer(PlayerControl& inner, std::function<void(const std::string&)> trace)
      : inner_(inner), trace_(std::move(trace)) {}
  Variant get(int dispid) override { return inner_.get(dispid); }
  void put(int dispid, const Variant& value) override {
    trace_("player put " + std::to_string(dispid) + " " + value.to_text());
    inner_.put(dispid, value);
  }
  void invoke(int dispid, const std::vector<Variant>& args) override {
    std::string line = "player call " + std::to_string(dispid);
    for (const Variant& a : args) line += " " + a.to_text();
    trace_(line);
    inner_.invoke(dispid, args);
  }

 private:
  PlayerControl& inner_;
  std::function<void(const std::string&)> trace_;
};

}  // namespace

QtPlayers::QtPlayers(const suite::FileComponentRegistry& registry) : registry_(registry) {}

QtPlayers::~QtPlayers() = default;

QWidget* QtPlayers::make_host(PlayerSite& site, QWidget* parent) {
  auto* host = new PlayerHost(parent);
  make_player(site, host);
  return host;
}

void QtPlayers::drop(PlayerSite& site) {
  site.set_control(nullptr);
  site.on_missing_control = nullptr;
  traced_player_.reset();
  players_.erase(&site);  // before its widget goes
}

void QtPlayers::make_player(PlayerSite& site, QWidget* host) {
  auto* view = static_cast<PlayerHost*>(host);
  last_attempt_ms_ = QDateTime::currentMSecsSinceEpoch();
  if (!registry_.can_create(suite::kPlayerClassId)) {
    problem_ = registry_.problem(suite::kPlayerClassId);
    view->show_message(QStringLiteral("播放器组件未注册，无法播放影片。"));
    // Registration may finish while the program runs: try again when the
    // player is asked for, now and then.
    site.on_missing_control = [this, &site, host] {
      if (QDateTime::currentMSecsSinceEpoch() - last_attempt_ms_ < 3000) return;
      make_player(site, host);
    };
    return;
  }
  site.on_missing_control = nullptr;
  view->clear_message();
  if (!library_) {
    library_ = std::make_unique<QLibrary>(
        QString::fromStdString(registry_.library_of(suite::kPlayerClassId)));
  }
  auto create = reinterpret_cast<suite::CreatePlayerFn>(library_->resolve(suite::kCreatePlayerSymbol));
  suite::EmbeddedPlayer* player = create ? create(host, nullptr) : nullptr;
  if (!player) {
    problem_ = library_->errorString().toStdString();
    view->show_message(QStringLiteral("无法载入播放器组件。"));
    return;
  }
  if (QWidget* w = player->widget()) {
    host->layout()->addWidget(w);
    w->show();
    view->watch_full_screen(w);
  }
  if (trace) {
    traced_player_ = std::make_unique<TracingPlayer>(player->control(), trace);
    site.set_control(traced_player_.get());
  } else {
    site.set_control(&player->control());
  }
  players_[&site].reset(player);
}

}  // namespace tav::qt
