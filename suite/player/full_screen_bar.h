// The bar of full screen, at the bottom of the picture: the pause button,
// the time and the seek bar, in the program's colours. Over mpv's own
// window (X11) it has a window of its own above it.
#pragma once

#include <QRectF>
#include <QString>
#include <QWidget>

namespace tav::suite {

class VideoView;


class FullScreenBar final : public QWidget {
 public:
  static constexpr int kHeight = 40;

  explicit FullScreenBar(VideoView* view);
  void set_playback(int position, int duration, bool paused);
  void set_volume_note(const QString& note);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent*) override { dragging_ = false; }
  // Quick clicks on the bar are clicks, not a double-click on the picture.
  void mouseDoubleClickEvent(QMouseEvent* e) override { mousePressEvent(e); }
  void leaveEvent(QEvent*) override;

 private:
  static constexpr int kTextWidth = 120;
  QRectF button() const { return QRectF(12, (height() - 28) / 2.0, 28, 28); }
  QRectF track() const;
  QRectF grab_area() const { return track().adjusted(-8, -12, 8, 12); }
  void seek_at(double x);

  VideoView* view_;
  int position_ = 0;
  int duration_ = 0;
  bool paused_ = false;
  bool hover_button_ = false;
  bool dragging_ = false;
  QString note_;
};

}  // namespace tav::suite
