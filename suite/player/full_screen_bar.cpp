#include "suite/player/full_screen_bar.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "suite/player/video_view.h"

namespace tav::suite {

namespace {

// The program's colours (0xRRGGBB).
constexpr QRgb kBarColor = 0x151515;
constexpr QRgb kRuleColor = 0x2A2929;  // the bar's top edge and the seek bar's groove
constexpr QRgb kGlyphColor = 0xC8C8B0;
constexpr QRgb kHoverColor = 0xFFFFFF;  // the button under the pointer
constexpr QRgb kPlayedColor = 0x3875D7;
constexpr QRgb kKnobColor = 0x80A8FF;

// "mm:ss", or "h:mm:ss" from an hour on.
QString clock_text(int seconds) {
  seconds = std::max(0, seconds);
  const int h = seconds / 3600, m = seconds % 3600 / 60, s = seconds % 60;
  const QString ms = QStringLiteral("%1:%2").arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
  return h > 0 ? QStringLiteral("%1:").arg(h) + ms : ms;
}

}  // namespace

FullScreenBar::FullScreenBar(VideoView* view) : QWidget(view), view_(view) {
  setMouseTracking(true);
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::ArrowCursor);
  QFont f(QStringList{QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Sans Serif")});
  f.setPixelSize(12);
  setFont(f);
}

void FullScreenBar::set_playback(int position, int duration, bool paused) {
  if (position == position_ && duration == duration_ && paused == paused_) return;
  position_ = position;
  duration_ = duration;
  paused_ = paused;
  update();
}

void FullScreenBar::set_volume_note(const QString& note) {
  note_ = note;
  update();
}

void FullScreenBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(kBarColor));
  p.setPen(QColor(kRuleColor));
  p.drawLine(0, 0, width(), 0);
  p.setRenderHint(QPainter::Antialiasing, true);
  // The button: play while paused, pause while playing.
  const QRectF b = button();
  const QColor glyph = hover_button_ ? QColor(kHoverColor) : QColor(kGlyphColor);
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
  p.setPen(QColor(kGlyphColor));
  const QString text = note_.isEmpty() ? clock_text(position_) + " / " + clock_text(duration_) : note_;
  p.drawText(QRect(52, 0, kTextWidth, height()), Qt::AlignLeft | Qt::AlignVCenter, text);
  // The seek bar, filled up to where the film stands.
  const QRectF t = track();
  p.fillRect(t, QColor(kRuleColor));
  const double share = duration_ > 0 ? std::clamp(double(position_) / duration_, 0.0, 1.0) : 0.0;
  p.fillRect(QRectF(t.left(), t.top(), t.width() * share, t.height()), QColor(kPlayedColor));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(kKnobColor));
  p.drawEllipse(QPointF(t.left() + t.width() * share, t.center().y()), 6, 6);
}

void FullScreenBar::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  if (button().contains(e->position())) {
    emit view_->pause_toggle_requested();
  } else if (grab_area().contains(e->position())) {
    dragging_ = true;
    seek_at(e->position().x());
  }
  view_->reveal_controls();
}

void FullScreenBar::mouseMoveEvent(QMouseEvent* e) {
  const bool over = button().contains(e->position());
  if (over != hover_button_) {
    hover_button_ = over;
    update();
  }
  if (dragging_ && (e->buttons() & Qt::LeftButton)) seek_at(e->position().x());
  view_->reveal_controls();
}

void FullScreenBar::leaveEvent(QEvent*) {
  hover_button_ = false;
  update();
}

QRectF FullScreenBar::track() const {
  const double left = 52 + kTextWidth + 8;
  return QRectF(left, height() / 2.0 - 2, std::max(10.0, width() - left - 20), 4);
}

void FullScreenBar::seek_at(double x) {
  if (duration_ <= 0) return;
  const QRectF t = track();
  const double share = std::clamp((x - t.left()) / t.width(), 0.0, 1.0);
  const int second = static_cast<int>(share * duration_);
  position_ = second;
  update();
  emit view_->seek_requested(second);
}

}  // namespace tav::suite
