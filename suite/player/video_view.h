// The video area: a black widget that shows mpv's picture, or a message when
// there is nothing to show (OpenGL unavailable, an address that does not
// open).
//
// On X11 mpv draws into a window of its own inside a native child window of
// the view (mpv's "wid"): its frames go straight to the X server, and the
// toolkit never touches them. Elsewhere (Wayland, the offscreen platform)
// the picture comes through mpv's render API into a QOpenGLWidget that the
// window composites.
//
// In full screen the view is the player: Space pauses and plays, Left and
// Right seek, Up and Down change the volume, Esc and a double-click leave;
// a move of the mouse shows a bar with the pause button, the time and the
// seek bar for two seconds.
#pragma once

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

struct mpv_handle;
class QLabel;

namespace tav::suite {

class VideoSurface;
class NativeSurface;
class FullScreenBar;

// How the picture reaches the screen.
enum class VideoOutput {
  None,      // no picture at all (mpv did not start)
  Native,    // mpv's own window in a native child window (X11)
  Rendered,  // mpv's render API into a QOpenGLWidget
};

// The output this platform takes: Native on X11, Rendered elsewhere.
VideoOutput preferred_video_output();

class VideoView final : public QWidget {
  Q_OBJECT
 public:
  // output: what mpv is started for (its vo option). mpv comes later, with
  // attach(); until then the picture is not ready.
  VideoView(QWidget* parent, VideoOutput output);
  ~VideoView() override;

  // The mpv to show, once it is made (it outlives the view).
  void attach(mpv_handle* mpv);

  // The picture can be drawn: mpv's render context exists, or mpv has the
  // native window to draw into.
  bool ready() const;
  // Ready now, or false: became_ready() follows once the picture can be
  // drawn (the render context comes with the first showing; the native
  // window is made at once).
  bool make_ready();
  // A message over the picture; "" removes it.
  void show_message(const QString& text);
  void set_full_screen(bool on);
  bool full_screen() const { return full_screen_; }
  // Where the film stands, for the bar shown in full screen (seconds).
  void show_playback(int position, int duration, bool paused);
  // The volume after a step asked for in full screen, shown on the bar.
  void show_volume(int volume);
  // The bar of full screen, while it is shown (for tests and diagnostics).
  QWidget* full_screen_bar() const;

 signals:
  // The picture can be drawn now (the first time the widget was shown).
  void became_ready();
  // The picture cannot be drawn at all; why, in a sentence for the user.
  void failed(const QString& why);
  // Asked for in full screen, with the keys or the bar.
  void pause_toggle_requested();
  void seek_requested(int second);
  void seek_step_requested(int seconds);
  void volume_step_requested(int points);
  // The bar of full screen came up: it wants to know where the film stands.
  void controls_shown();

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  friend class NativeSurface;
  friend class FullScreenBar;
  void fail(const QString& why);
  void place_children();
  // The bar of full screen: shown now, hidden two seconds after the last
  // move of the mouse (or key) with the pointer, unless the pointer is on it.
  void reveal_controls();
  void conceal_controls();

  mpv_handle* mpv_ = nullptr;
  VideoSurface* surface_ = nullptr;
  NativeSurface* native_ = nullptr;
  QLabel* label_ = nullptr;
  QPointer<FullScreenBar> bar_;
  QTimer conceal_timer_;
  QPoint last_pointer_;
  bool full_screen_ = false;
  bool toggle_on_release_ = false;  // a double-click, whose button is still down
  bool was_window_ = false;
  Qt::WindowFlags normal_flags_;
  QRect normal_geometry_;
};

}  // namespace tav::suite
