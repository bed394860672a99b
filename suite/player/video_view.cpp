#include "suite/player/video_view.h"

#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <cstdlib>

#include "suite/player/full_screen_bar.h"
#include "suite/player/video_surfaces.h"

namespace tav::suite {

namespace {

// How long the bar of full screen stays after the last move of the mouse.
constexpr int kControlsShownMs = 2000;
// What a key in full screen steps by: seconds, and points of volume.
constexpr int kSeekStep = 10;
constexpr int kVolumeStep = 10;

}  // namespace

VideoOutput preferred_video_output() {
  if (std::getenv("TAVORI_VIDEO_RENDERED")) return VideoOutput::Rendered;
  return QGuiApplication::platformName() == QLatin1String("xcb") ? VideoOutput::Native
                                                                 : VideoOutput::Rendered;
}

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
