#include "suite/player/video_view.h"

#include <mpv/client.h>
#include <mpv/render_gl.h>

#include "suite/player/mpv_api.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QPlatformSurfaceEvent>
#include <QWindow>
#include <QPointer>
#include <atomic>
#include <cstdio>
#include <cstdint>
#include <cstdlib>

namespace tav::suite {

namespace {

const char kNoOpenGl[] = "无法启动视频播放（OpenGL 不可用）";

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
  explicit NativeSurface(VideoView* view) : QWidget(view) {
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
      watch_window();
      set_wid(handed_);
      take_video_up();
    }
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
    QWidget* parent = parentWidget();
    QWidget* host = parent ? parent->nativeParentWidget() : nullptr;
    if (w && host) w->setGeometry(QRect(mapTo(host, QPoint(0, 0)), size()));
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
  }
  void take_video_up() {
    if (restore_video_.isEmpty()) return;
    const QByteArray track = restore_video_;
    restore_video_.clear();
    const char* value = track.constData();  // mpv copies it
    mpv_api().set_property_async(mpv_, 0, "vid", MPV_FORMAT_STRING, &value);
  }

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

VideoView::VideoView(QWidget* parent, VideoOutput output) : QWidget(parent) {
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, Qt::black);
  p.setColor(QPalette::WindowText, Qt::white);
  setPalette(p);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(16, 16);

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
}

void VideoView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  place_children();
}

void VideoView::set_full_screen(bool on) {
  if (on == full_screen_) return;
  full_screen_ = on;
  if (on) {
    was_window_ = isWindow();
    normal_flags_ = windowFlags();
    normal_geometry_ = geometry();
    if (!was_window_) setWindowFlags(normal_flags_ | Qt::Window);
    showFullScreen();
    activateWindow();
    setFocus(Qt::OtherFocusReason);
  } else if (was_window_) {
    showNormal();
  } else {
    setWindowState(windowState() & ~Qt::WindowFullScreen);
    setWindowFlags(normal_flags_);
    setGeometry(normal_geometry_);  // the parent's layout, if any, takes over again
    show();
  }
}

void VideoView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && full_screen_) {
    set_full_screen(false);
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void VideoView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    set_full_screen(!full_screen_);
    event->accept();
    return;
  }
  QWidget::mouseDoubleClickEvent(event);
}

}  // namespace tav::suite
