// The two ways mpv's picture reaches the video view: mpv's own window in a
// native child window (X11), or mpv's render API into a GL widget.
#pragma once

#include <QByteArray>
#include <QMetaObject>
#include <QOpenGLWidget>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <QWindow>
#include <atomic>

struct mpv_handle;
struct mpv_render_context;

namespace tav::suite {

class VideoView;

// Why there is no picture where OpenGL is missing, for the user.
extern const char kNoOpenGl[];

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
  explicit NativeSurface(VideoView* view);
  ~NativeSurface() override;
  QPaintEngine* paintEngine() const override { return nullptr; }

  void attach(mpv_handle* mpv) { mpv_ = mpv; }
  // Gives mpv the window, made now; mpv makes its own inside it when a
  // video starts. Only once mpv is attached.
  void hand_to_mpv();
  bool handed() const { return handed_ != 0; }

 protected:
  bool event(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void paintEvent(QPaintEvent*) override {}

 private:
  // A native window made for a widget already on the screen starts where
  // the widget stands in its parent, not in the window it lies in (its
  // ancestors have no windows of their own): it is put in its place.
  void place_native_window();
  void watch_window();
  void set_wid(WId id);
  // Synchronous: mpv has closed its window when this returns.
  void put_video_down();
  void hand_again();
  void take_video_up();

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
  explicit VideoSurface(VideoView* view);
  ~VideoSurface() override;
  bool ready() const { return render_ != nullptr; }

  // mpv is made: the render context comes now if the widget has its GL
  // context already, else with the first showing.
  void attach(mpv_handle* mpv);

 protected:
  void initializeGL() override;
  void paintGL() override;

 private:
  // With the GL context current.
  void create_render_context();
  // From mpv's threads: a new frame is due. Only posts to the UI thread.
  static void on_update(void* self_ptr);
  // With the context current. If a video track plays, it is put down first:
  // freeing the render context under a running video would count as a
  // broken track, and a film whose sound cannot play either would end.
  void release();

  QPointer<VideoView> view_;
  mpv_handle* mpv_ = nullptr;
  mpv_render_context* render_ = nullptr;
  std::atomic<bool> update_posted_{false};
  QString restore_video_;
  QMetaObject::Connection context_gone_;
};

}  // namespace tav::suite
