// The video area: a black widget that shows mpv's picture through the
// render API in a QOpenGLWidget, or a message when there is nothing to show
// (OpenGL unavailable, an address that does not open).
#pragma once

#include <QString>
#include <QWidget>

struct mpv_handle;
class QLabel;

namespace tav::suite {

class VideoSurface;

class VideoView final : public QWidget {
  Q_OBJECT
 public:
  // mpv == nullptr: the player could not start; the view only says so.
  VideoView(QWidget* parent, mpv_handle* mpv, const QString& problem);
  ~VideoView() override;

  // The picture can be drawn: mpv's render context exists.
  bool ready() const;
  // A message over the picture; "" removes it.
  void show_message(const QString& text);
  void set_full_screen(bool on);
  bool full_screen() const { return full_screen_; }

 signals:
  // The render context was made (the first time the widget was shown).
  void became_ready();
  // The picture cannot be drawn at all; why, in a sentence for the user.
  void failed(const QString& why);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void fail(const QString& why);
  void place_children();

  VideoSurface* surface_ = nullptr;
  QLabel* label_ = nullptr;
  bool full_screen_ = false;
  bool was_window_ = false;
  Qt::WindowFlags normal_flags_;
  QRect normal_geometry_;
};

}  // namespace tav::suite
