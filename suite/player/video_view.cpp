#include "suite/player/video_view.h"

#include <mpv/client.h>
#include <mpv/render_gl.h>

#include "suite/player/mpv_api.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QPlatformSurfaceEvent>
#include <QWindow>
#include <QPointer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdint>
#include <cstdlib>

namespace tav::suite {

namespace {

const char kNoOpenGl[] = "无法启动视频播放（OpenGL 不可用）";

// How long the bar of full screen stays after the last move of the mouse.
constexpr int kControlsShownMs = 2000;
// What a key in full screen steps by: seconds, and points of volume.
constexpr int kSeekStep = 10;
constexpr int kVolumeStep = 10;

// "mm:ss", or "h:mm:ss" from an hour on.
QString clock_text(int seconds) {
  seconds = std::max(0, seconds);
  const int h = seconds / 3600, m = seconds % 3600 / 60, s = seconds % 60;
  const QString ms = QStringLiteral("%1:%2").arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
  return h > 0 ? QStringLiteral("%1:").arg(h) + ms : ms;
}

void* get_proc_address(void*, const char* name) {
  QOpenGLContext* context = QOpenGLContext::currentContext();
  return context ? reinterpret_cast<void*>(context->getProcAddress(name)) : nullptr;
}

}  // namespace

VideoOutput preferred_video_output() {
  if (std::getenv("TAVORI_VIDEO_RENDERED")) return VideoOutput::Rendered;
  return QGuiApplication::platformName() == QLatin1String("xcb") ? VideoOutput::Native
                                                                 : VideoOutput::Rendered;
}

// The native child window mpv draws into. mpv makes a window of its own
// inside it and keeps it at this window's size; it selects no pointer
// events (input-cursor=no), so clicks go on to this window and from here to
// the view. Nothing of the toolkit is drawn over mpv's window: what the
// toolkit paints here lies beneath it.
//
// The toolkit makes the window anew when the view changes windows (full
// screen and back) and destroys it with the view. mpv's window inside must
// not outlive it: mpv would then work on a window that is gone, and Xlib
// ends the process on such an error. So the video track is put down just
// before the window goes (mpv closes its video output with it) and taken up
// again in the new window.
class NativeSurface final : public QWidget {
 public:
  explicit NativeSurface(VideoView* view) : QWidget(view), view_(view) {
    // A window of its own for this widget alone: its ancestors and siblings
    // stay drawn by the toolkit.
    QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
    setAttribute(Qt::WA_DontCreateNativeAncestors);
    // The toolkit neither paints nor composites it: mpv's window covers it,
    // and the window's composition (OpenGL, for the pages) could not draw
    // into a window of this kind anyway.
    setAttribute(Qt::WA_PaintOnScreen);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    // Moves of the pointer over the picture reach the view (the bar of
    // full screen).
    setMouseTracking(true);
  }
  QPaintEngine* paintEngine() const override { return nullptr; }
  ~NativeSurface() override { put_video_down(); }

  void attach(mpv_handle* mpv) { mpv_ = mpv; }

  // Gives mpv the window, made now; mpv makes its own inside it when a
  // video starts. Only once mpv is attached.
  void hand_to_mpv() {
    setAttribute(Qt::WA_NativeWindow);
    handed_ = winId();
    place_native_window();
    watch_window();
    set_wid(handed_);
  }
  bool handed() const { return handed_ != 0; }

 protected:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::WinIdChange && handed_ != 0 && internalWinId() != 0 &&
        internalWinId() != handed_) {
      handed_ = internalWinId();
      place_native_window();
      watch_window();
      set_wid(handed_);
      take_video_up();
      if (view_) view_->place_children();  // the bar of full screen stays above it
    }
    // mpv's window follows this one's size: this one must follow the
    // widget's place and size at every change, also where the toolkit made
    // it anew at a stale place.
    if (handed_ != 0 && (e->type() == QEvent::Resize || e->type() == QEvent::Move ||
                         e->type() == QEvent::Show))
      place_native_window();
    return QWidget::event(e);
  }
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (watched == watched_ && e->type() == QEvent::PlatformSurface &&
        static_cast<QPlatformSurfaceEvent*>(e)->surfaceEventType() ==
            QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed) {
      put_video_down();
      // Gone with a window above it that the toolkit makes anew: this one
      // comes back with it, or is made again here.
      QMetaObject::invokeMethod(this, [this] { hand_again(); }, Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, e);
  }
  void paintEvent(QPaintEvent*) override {}

 private:
  // A native window made for a widget already on the screen starts where
  // the widget stands in its parent, not in the window it lies in (its
  // ancestors have no windows of their own): it is put in its place.
  void place_native_window() {
    QWindow* w = windowHandle();
    // The nearest window above: the view itself once it is a window of its
    // own (full screen), else the window the view lies in.
    QWidget* host = nativeParentWidget();
    if (!w || !host) return;
    const QRect want(mapTo(host, QPoint(0, 0)), size());
    if (w->geometry() != want) w->setGeometry(want);
  }
  void watch_window() {
    QWindow* w = windowHandle();
    if (w == watched_) return;
    if (watched_) watched_->removeEventFilter(this);
    watched_ = w;
    if (w) w->installEventFilter(this);
  }
  void set_wid(WId id) {
    std::int64_t value = static_cast<std::int64_t>(id);
    mpv_api().set_property(mpv_, "wid", MPV_FORMAT_INT64, &value);
    if (std::getenv("TAVORI_SUITE_LOG"))
      std::fprintf(stderr, "[suite] video window 0x%llx\n", static_cast<unsigned long long>(id));
  }
  // Synchronous: mpv has closed its window when this returns.
  void put_video_down() {
    if (!handed_) return;
    char* track = mpv_api().get_property_string(mpv_, "vid");
    if (!track) return;
    if (QByteArray(track) != "no") {
      restore_video_ = track;
      mpv_api().set_property_string(mpv_, "vid", "no");
    }
    mpv_api().free(track);
  }
  void hand_again() {
    if (restore_video_.isEmpty()) return;  // back already (WinIdChange)
    const WId id = winId();
    if (id == 0) return;
    handed_ = id;
    place_native_window();
    watch_window();
    set_wid(id);
    take_video_up();
    if (view_) view_->place_children();
  }
  void take_video_up() {
    if (restore_video_.isEmpty()) return;
    const QByteArray track = restore_video_;
    restore_video_.clear();
    const char* value = track.constData();  // mpv copies it
    mpv_api().set_property_async(mpv_, 0, "vid", MPV_FORMAT_STRING, &value);
  }

  QPointer<VideoView> view_;
  mpv_handle* mpv_ = nullptr;
  WId handed_ = 0;
  QPointer<QWindow> watched_;
  QByteArray restore_video_;
};

// The GL surface. Its context may be destroyed and made anew by Qt (when
// the widget moves to another window, as full screen does); the render
// context goes with it and the video track is taken up again afterwards.
class VideoSurface final : public QOpenGLWidget {
 public:
  explicit VideoSurface(VideoView* view) : QOpenGLWidget(view), view_(view) {
    setAttribute(Qt::WA_TransparentForMouseEvents, false);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
  }
  ~VideoSurface() override {
    // QOpenGLWidget's own destructor destroys the context later, when this
    // part of the object is gone already.
    QObject::disconnect(context_gone_);
    makeCurrent();
    release();
    doneCurrent();
  }
  bool ready() const { return render_ != nullptr; }

  // mpv is made: the render context comes now if the widget has its GL
  // context already, else with the first showing.
  void attach(mpv_handle* mpv) {
    mpv_ = mpv;
    if (!context() || !context()->isValid() || render_) return;
    makeCurrent();
    create_render_context();
    doneCurrent();
  }

 protected:
  void initializeGL() override {
    QObject::disconnect(context_gone_);
    context_gone_ = QObject::connect(context(), &QOpenGLContext::aboutToBeDestroyed, this,
                     [this] {
                       makeCurrent();
                       release();
                       doneCurrent();
                     },
                     Qt::DirectConnection);
    if (mpv_) create_render_context();
  }

  // With the GL context current.
  void create_render_context() {
    mpv_opengl_init_params gl{get_proc_address, nullptr};
    int advanced = 0;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_OPENGL)},
        {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &gl},
        {MPV_RENDER_PARAM_ADVANCED_CONTROL, &advanced},
        {MPV_RENDER_PARAM_INVALID, nullptr}};
    const int result = mpv_api().render_context_create(&render_, mpv_, params);
    if (result < 0) {
      render_ = nullptr;
      QMetaObject::invokeMethod(
          view_,
          [view = view_, why = QString::fromUtf8(mpv_api().error_string(result))] {
            if (view) emit view->failed(QString::fromUtf8(kNoOpenGl) + "\n" + why);
          },
          Qt::QueuedConnection);
      return;
    }
    mpv_api().render_context_set_update_callback(render_, &VideoSurface::on_update, this);
    if (std::getenv("TAVORI_SUITE_LOG"))
      std::fprintf(stderr, "[suite] render context made%s\n",
                   restore_video_.isEmpty() ? "" : ", taking the video track up again");
    if (!restore_video_.isEmpty()) {
      // Qt made a new context (the widget changed windows): the video track
      // put down with the old one comes back.
      const QByteArray track = restore_video_.toUtf8();
      const char* value = track.constData();  // mpv copies it
      mpv_api().set_property_async(mpv_, 0, "vid", MPV_FORMAT_STRING, &value);
      restore_video_.clear();
    }
    QMetaObject::invokeMethod(
        view_, [view = view_] { if (view) emit view->became_ready(); }, Qt::QueuedConnection);
  }

  void paintGL() override {
    update_posted_ = false;
    QOpenGLFunctions* f = context()->functions();
    f->glClearColor(0, 0, 0, 1);
    f->glClear(GL_COLOR_BUFFER_BIT);
    if (!render_) return;
    const qreal ratio = devicePixelRatioF();
    mpv_opengl_fbo fbo{static_cast<int>(defaultFramebufferObject()),
                       static_cast<int>(width() * ratio), static_cast<int>(height() * ratio), 0};
    int flip = 1;
    mpv_render_param params[] = {{MPV_RENDER_PARAM_OPENGL_FBO, &fbo},
                                 {MPV_RENDER_PARAM_FLIP_Y, &flip},
                                 {MPV_RENDER_PARAM_INVALID, nullptr}};
    mpv_api().render_context_render(render_, params);
  }

 private:
  // From mpv's threads: a new frame is due. Only posts to the UI thread.
  static void on_update(void* self_ptr) {
    auto* self = static_cast<VideoSurface*>(self_ptr);
    if (self->update_posted_.exchange(true)) return;
    QMetaObject::invokeMethod(self, [self] {
      if (self->render_ && (mpv_api().render_context_update(self->render_) & MPV_RENDER_UPDATE_FRAME))
        self->update();
      else
        self->update_posted_ = false;
    }, Qt::QueuedConnection);
  }

  // With the context current. If a video track plays, it is put down first:
  // freeing the render context under a running video would count as a
  // broken track, and a film whose sound cannot play either would end.
  void release() {
    if (!render_) return;
    char* track = mpv_api().get_property_string(mpv_, "vid");
    if (track) {
      if (QByteArray(track) != "no") {
        restore_video_ = QString::fromUtf8(track);
        mpv_api().set_property_string(mpv_, "vid", "no");
      }
      mpv_api().free(track);
    }
    mpv_api().render_context_set_update_callback(render_, nullptr, nullptr);
    mpv_api().render_context_free(render_);
    render_ = nullptr;
  }

  QPointer<VideoView> view_;
  mpv_handle* mpv_ = nullptr;
  mpv_render_context* render_ = nullptr;
  std::atomic<bool> update_posted_{false};
  QString restore_video_;
  QMetaObject::Connection context_gone_;
};

// The bar of full screen, at the bottom of the picture: the pause button,
// the time and the seek bar, in the program's colours. Over mpv's own
// window (X11) it has a window of its own above it.
class FullScreenBar final : public QWidget {
 public:
  static constexpr int kHeight = 40;

  explicit FullScreenBar(VideoView* view) : QWidget(view), view_(view) {
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::ArrowCursor);
    QFont f(QStringList{QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Sans Serif")});
    f.setPixelSize(12);
    setFont(f);
  }
  void set_playback(int position, int duration, bool paused) {
    if (position == position_ && duration == duration_ && paused == paused_) return;
    position_ = position;
    duration_ = duration;
    paused_ = paused;
    update();
  }
  void set_volume_note(const QString& note) {
    note_ = note;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), QColor(0x15, 0x15, 0x15));
    p.setPen(QColor(0x2A, 0x29, 0x29));
    p.drawLine(0, 0, width(), 0);
    p.setRenderHint(QPainter::Antialiasing, true);
    // The button: play while paused, pause while playing.
    const QRectF b = button();
    const QColor glyph = hover_button_ ? QColor(0xFF, 0xFF, 0xFF) : QColor(0xC8, 0xC8, 0xB0);
    if (paused_) {
      QPainterPath tri;
      tri.moveTo(b.left() + 8, b.top() + 6);
      tri.lineTo(b.right() - 6, b.center().y());
      tri.lineTo(b.left() + 8, b.bottom() - 6);
      tri.closeSubpath();
      p.fillPath(tri, glyph);
    } else {
      p.fillRect(QRectF(b.left() + 8, b.top() + 6, 4, b.height() - 12), glyph);
      p.fillRect(QRectF(b.right() - 12, b.top() + 6, 4, b.height() - 12), glyph);
    }
    // The time, or the volume just set.
    p.setPen(QColor(0xC8, 0xC8, 0xB0));
    const QString text = note_.isEmpty() ? clock_text(position_) + " / " + clock_text(duration_) : note_;
    p.drawText(QRect(52, 0, kTextWidth, height()), Qt::AlignLeft | Qt::AlignVCenter, text);
    // The seek bar, filled up to where the film stands.
    const QRectF t = track();
    p.fillRect(t, QColor(0x2A, 0x29, 0x29));
    const double share = duration_ > 0 ? std::clamp(double(position_) / duration_, 0.0, 1.0) : 0.0;
    p.fillRect(QRectF(t.left(), t.top(), t.width() * share, t.height()), QColor(0x38, 0x75, 0xD7));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x80, 0xA8, 0xFF));
    p.drawEllipse(QPointF(t.left() + t.width() * share, t.center().y()), 6, 6);
  }
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() != Qt::LeftButton) return;
    if (button().contains(e->position())) {
      emit view_->pause_toggle_requested();
    } else if (grab_area().contains(e->position())) {
      dragging_ = true;
      seek_at(e->position().x());
    }
    view_->reveal_controls();
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    const bool over = button().contains(e->position());
    if (over != hover_button_) {
      hover_button_ = over;
      update();
    }
    if (dragging_ && (e->buttons() & Qt::LeftButton)) seek_at(e->position().x());
    view_->reveal_controls();
  }
  void mouseReleaseEvent(QMouseEvent*) override { dragging_ = false; }
  // Quick clicks on the bar are clicks, not a double-click on the picture.
  void mouseDoubleClickEvent(QMouseEvent* e) override { mousePressEvent(e); }
  void leaveEvent(QEvent*) override {
    hover_button_ = false;
    update();
  }

 private:
  static constexpr int kTextWidth = 120;
  QRectF button() const { return QRectF(12, (height() - 28) / 2.0, 28, 28); }
  QRectF track() const {
    const double left = 52 + kTextWidth + 8;
    return QRectF(left, height() / 2.0 - 2, std::max(10.0, width() - left - 20), 4);
  }
  QRectF grab_area() const { return track().adjusted(-8, -12, 8, 12); }
  void seek_at(double x) {
    if (duration_ <= 0) return;
    const QRectF t = track();
    const double share = std::clamp((x - t.left()) / t.width(), 0.0, 1.0);
    const int second = static_cast<int>(share * duration_);
    position_ = second;
    update();
    emit view_->seek_requested(second);
  }

  VideoView* view_;
  int position_ = 0;
  int duration_ = 0;
  bool paused_ = false;
  bool hover_button_ = false;
  bool dragging_ = false;
  QString note_;
};

VideoView::VideoView(QWidget* parent, VideoOutput output) : QWidget(parent) {
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, Qt::black);
  p.setColor(QPalette::WindowText, Qt::white);
  setPalette(p);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(16, 16);
  setMouseTracking(true);
  conceal_timer_.setSingleShot(true);
  conceal_timer_.setInterval(kControlsShownMs);
  connect(&conceal_timer_, &QTimer::timeout, this, [this] {
    // Not while the pointer rests on the bar.
    if (bar_ && bar_->underMouse()) {
      conceal_timer_.start();
      return;
    }
    conceal_controls();
  });

  label_ = new QLabel(this);
  label_->setAlignment(Qt::AlignCenter);
  label_->setWordWrap(true);
  label_->setAutoFillBackground(true);
  label_->setPalette(p);
  label_->hide();

  if (output == VideoOutput::None) return;
  if (output == VideoOutput::Native) {
    native_ = new NativeSurface(this);
    connect(this, &VideoView::failed, this, &VideoView::fail);
    place_children();
    return;
  }
  // Can this machine make an OpenGL context at all? Asking first avoids
  // a surface that would only ever stay blank.
  QOpenGLContext probe;
  if (!probe.create()) {
    show_message(QString::fromUtf8(kNoOpenGl));
    QMetaObject::invokeMethod(
        this, [this] { emit failed(QString::fromUtf8(kNoOpenGl)); }, Qt::QueuedConnection);
    return;
  }
  surface_ = new VideoSurface(this);
  connect(this, &VideoView::failed, this, &VideoView::fail);
  place_children();
}

VideoView::~VideoView() {
  conceal_timer_.stop();
  delete bar_.data();
  // The native window tells the view of its changes: it goes while the
  // view is whole.
  delete native_;
  native_ = nullptr;
  delete surface_;  // frees the render context before anything else goes
  surface_ = nullptr;
}

void VideoView::attach(mpv_handle* mpv) {
  mpv_ = mpv;
  if (native_) native_->attach(mpv);
  if (surface_) surface_->attach(mpv);
}

bool VideoView::ready() const {
  if (native_) return native_->handed();
  return surface_ && surface_->ready();
}

bool VideoView::make_ready() {
  if (!native_ || !mpv_) return ready();
  // The native window is made when the first film wants it, shown or not
  // (mpv's own inside it shows with it).
  if (!native_->handed()) native_->hand_to_mpv();
  return true;
}

void VideoView::fail(const QString& why) {
  if (surface_) surface_->hide();
  show_message(why);
}

void VideoView::show_message(const QString& text) {
  label_->setText(text);
  label_->setVisible(!text.isEmpty());
  if (!text.isEmpty()) label_->raise();
  // mpv's native window would cover the message: it steps aside meanwhile.
  if (native_) native_->setVisible(text.isEmpty());
  place_children();
}

void VideoView::place_children() {
  if (surface_) surface_->setGeometry(rect());
  if (native_) native_->setGeometry(rect());
  label_->setGeometry(rect());
  if (bar_) {
    bar_->setGeometry(0, height() - FullScreenBar::kHeight, width(), FullScreenBar::kHeight);
    bar_->raise();
  }
}

void VideoView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  place_children();
}

void VideoView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  place_children();
}

bool VideoView::event(QEvent* event) {
  // A window of its own in full screen: it loses the keys when another
  // window takes them, and the bar goes with them.
  if (event->type() == QEvent::WindowDeactivate && full_screen_) conceal_controls();
  return QWidget::event(event);
}

QWidget* VideoView::full_screen_bar() const { return bar_ && bar_->isVisible() ? bar_.data() : nullptr; }

void VideoView::show_playback(int position, int duration, bool paused) {
  if (bar_) bar_->set_playback(position, duration, paused);
}

void VideoView::show_volume(int volume) {
  if (!bar_) return;
  bar_->set_volume_note(QString::fromUtf8("音量：") + QString::number(volume) + "%");
  reveal_controls();
}

void VideoView::reveal_controls() {
  if (!full_screen_) return;
  if (!bar_) {
    bar_ = new FullScreenBar(this);
    // Over mpv's own window only a window can be drawn. The view is a
    // window already; it must not be marked native for good, or it would
    // stay a window of its own inside the program's after full screen.
    if (native_) {
      bar_->setAttribute(Qt::WA_DontCreateNativeAncestors);
      bar_->setAttribute(Qt::WA_NativeWindow);
    }
    place_children();
  }
  if (!bar_->isVisible()) {
    bar_->set_volume_note({});
    bar_->show();
    place_children();
    emit controls_shown();
  }
  unsetCursor();
  if (native_) native_->unsetCursor();
  conceal_timer_.start();
}

void VideoView::conceal_controls() {
  conceal_timer_.stop();
  if (bar_) bar_->hide();
  if (full_screen_) {
    // A player's full screen shows the picture alone, without the pointer.
    setCursor(Qt::BlankCursor);
    if (native_) native_->setCursor(Qt::BlankCursor);
  }
}

void VideoView::mouseMoveEvent(QMouseEvent* event) {
  if (full_screen_) {
    // The toolkit reports a move when a window appears under a pointer
    // that stands still: only a real move shows the bar.
    const QPoint at = event->globalPosition().toPoint();
    if (at != last_pointer_) reveal_controls();
    last_pointer_ = at;
  }
  QWidget::mouseMoveEvent(event);
}

void VideoView::set_full_screen(bool on) {
  if (on == full_screen_) return;
  full_screen_ = on;
  // The bar belongs to full screen only (over mpv's window it is a window
  // of its own, which has no place in the program's window).
  conceal_timer_.stop();
  delete bar_.data();
  unsetCursor();
  if (native_) native_->unsetCursor();
  last_pointer_ = QCursor::pos();
  if (on) {
    was_window_ = isWindow();
    normal_flags_ = windowFlags();
    normal_geometry_ = geometry();
    if (!was_window_) {
      setWindowFlags(normal_flags_ | Qt::Window);
      // A state the window manager gave the last window of full screen
      // (sway gives XWayland's windows "maximised") is not this one's: a
      // window asked to be full screen from "maximised" is laid out as a
      // maximised one first.
      setWindowState(Qt::WindowNoState);
    }
    showFullScreen();
    activateWindow();
    setFocus(Qt::OtherFocusReason);
  } else if (was_window_) {
    showNormal();
  } else {
    setWindowState(Qt::WindowNoState);
    setWindowFlags(normal_flags_);
    setGeometry(normal_geometry_);
    show();
    // The parent's layout, if any, places it again now, with the size the
    // parent has now (it may have changed meanwhile).
    if (QWidget* parent = parentWidget(); parent && parent->layout()) {
      parent->layout()->invalidate();
      parent->layout()->activate();
    }
    place_children();
  }
}

void VideoView::keyPressEvent(QKeyEvent* event) {
  if (!full_screen_) {
    QWidget::keyPressEvent(event);
    return;
  }
  switch (event->key()) {
    case Qt::Key_Escape:
      set_full_screen(false);
      break;
    case Qt::Key_Space:
      emit pause_toggle_requested();
      break;
    case Qt::Key_Left:
      emit seek_step_requested(-kSeekStep);
      break;
    case Qt::Key_Right:
      emit seek_step_requested(kSeekStep);
      break;
    case Qt::Key_Up:
      emit volume_step_requested(kVolumeStep);
      break;
    case Qt::Key_Down:
      emit volume_step_requested(-kVolumeStep);
      break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  event->accept();
  // What a key did shows on the bar (the volume, the time after a seek).
  if (full_screen_ && event->key() != Qt::Key_Up && event->key() != Qt::Key_Down) reveal_controls();
}

void VideoView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    // Once the button is up: a window that appears (or goes) while the
    // pointer is held is laid out by some compositors before they hear
    // that it is to cover the screen (XWayland under sway tiles it).
    toggle_on_release_ = true;
    event->accept();
    return;
  }
  QWidget::mouseDoubleClickEvent(event);
}

void VideoView::mouseReleaseEvent(QMouseEvent* event) {
  if (toggle_on_release_ && event->button() == Qt::LeftButton) {
    toggle_on_release_ = false;
    set_full_screen(!full_screen_);
    event->accept();
    return;
  }
  QWidget::mouseReleaseEvent(event);
}

}  // namespace tav::suite
