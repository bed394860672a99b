#include "suite/player/video_surfaces.h"

#include <mpv/client.h>
#include <mpv/render_gl.h>

#include <QCoreApplication>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPlatformSurfaceEvent>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "suite/player/mpv_api.h"
#include "suite/player/video_view.h"

namespace tav::suite {

const char kNoOpenGl[] = "无法启动视频播放（OpenGL 不可用）";

namespace {

void* get_proc_address(void*, const char* name) {
  QOpenGLContext* context = QOpenGLContext::currentContext();
  return context ? reinterpret_cast<void*>(context->getProcAddress(name)) : nullptr;
}

}  // namespace

// --- the native window ---

NativeSurface::NativeSurface(VideoView* view) : QWidget(view), view_(view) {
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

NativeSurface::~NativeSurface() { put_video_down(); }

void NativeSurface::hand_to_mpv() {
  setAttribute(Qt::WA_NativeWindow);
  handed_ = winId();
  place_native_window();
  watch_window();
  set_wid(handed_);
}

bool NativeSurface::event(QEvent* e) {
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

bool NativeSurface::eventFilter(QObject* watched, QEvent* e) {
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

void NativeSurface::place_native_window() {
  QWindow* w = windowHandle();
  // The nearest window above: the view itself once it is a window of its
  // own (full screen), else the window the view lies in.
  QWidget* host = nativeParentWidget();
  if (!w || !host) return;
  const QRect want(mapTo(host, QPoint(0, 0)), size());
  if (w->geometry() != want) w->setGeometry(want);
}

void NativeSurface::watch_window() {
  QWindow* w = windowHandle();
  if (w == watched_) return;
  if (watched_) watched_->removeEventFilter(this);
  watched_ = w;
  if (w) w->installEventFilter(this);
}

void NativeSurface::set_wid(WId id) {
  std::int64_t value = static_cast<std::int64_t>(id);
  mpv_api().set_property(mpv_, "wid", MPV_FORMAT_INT64, &value);
  if (std::getenv("TAVORI_SUITE_LOG"))
    std::fprintf(stderr, "[suite] video window 0x%llx\n", static_cast<unsigned long long>(id));
}

void NativeSurface::put_video_down() {
  if (!handed_) return;
  char* track = mpv_api().get_property_string(mpv_, "vid");
  if (!track) return;
  if (QByteArray(track) != "no") {
    restore_video_ = track;
    mpv_api().set_property_string(mpv_, "vid", "no");
  }
  mpv_api().free(track);
}

void NativeSurface::hand_again() {
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

void NativeSurface::take_video_up() {
  if (restore_video_.isEmpty()) return;
  const QByteArray track = restore_video_;
  restore_video_.clear();
  const char* value = track.constData();  // mpv copies it
  mpv_api().set_property_async(mpv_, 0, "vid", MPV_FORMAT_STRING, &value);
}

// --- the GL surface ---

VideoSurface::VideoSurface(VideoView* view) : QOpenGLWidget(view), view_(view) {
  setAttribute(Qt::WA_TransparentForMouseEvents, false);
  setFocusPolicy(Qt::NoFocus);
  setMouseTracking(true);
}

VideoSurface::~VideoSurface() {
  // QOpenGLWidget's own destructor destroys the context later, when this
  // part of the object is gone already.
  QObject::disconnect(context_gone_);
  makeCurrent();
  release();
  doneCurrent();
}

void VideoSurface::attach(mpv_handle* mpv) {
  mpv_ = mpv;
  if (!context() || !context()->isValid() || render_) return;
  makeCurrent();
  create_render_context();
  doneCurrent();
}

void VideoSurface::initializeGL() {
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

void VideoSurface::create_render_context() {
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

void VideoSurface::paintGL() {
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

void VideoSurface::on_update(void* self_ptr) {
  auto* self = static_cast<VideoSurface*>(self_ptr);
  if (self->update_posted_.exchange(true)) return;
  QMetaObject::invokeMethod(self, [self] {
    if (self->render_ && (mpv_api().render_context_update(self->render_) & MPV_RENDER_UPDATE_FRAME))
      self->update();
    else
      self->update_posted_ = false;
  }, Qt::QueuedConnection);
}

void VideoSurface::release() {
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

}  // namespace tav::suite
