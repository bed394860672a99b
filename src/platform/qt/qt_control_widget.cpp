#include "platform/qt/qt_control_widget.h"

#include <QCursor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "platform/qt/qt_input.h"
#include "platform/qt/qt_services.h"
#include "platform/qt/qt_skin.h"

namespace tav::qt {

QColor qcolor(Color c) { return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }

void paint_drawing(QPainter& p, const std::vector<DrawOp>& drawing) {
  for (const DrawOp& op : drawing) {
    const QPixmap& pm = QtImages::pixmap(op.image.id);
    if (pm.isNull()) continue;
    p.drawPixmap(QRect(op.target.x, op.target.y, op.target.w, op.target.h), pm,
                 QRect(op.source.x, op.source.y, op.source.w, op.source.h));
  }
}

ControlWidget::ControlWidget(Control& model, QWidget* parent) : QWidget(parent), model_(model) {
  setMouseTracking(true);
  setCursor(Qt::ArrowCursor);
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void ControlWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (model_.kind() == ControlKind::Frame) {
    paint_frame(p);
    return;
  }
  if (is_tab()) {
    paint_tab(p);
    return;
  }
  if (!model_.transparent()) p.fillRect(rect(), qcolor(model_.back_color()));
  if (!model_.picture().empty()) {
    const QPixmap& pm = QtImages::pixmap(model_.picture().id);
    if (!pm.isNull()) p.drawPixmap(0, 0, pm);
  }
  paint_drawing(p, model_.drawing());
  if (!model_.caption().empty()) {
    p.setFont(form_font(model_.font_size(), model_.font_bold()));
    p.setPen(qcolor(model_.fore_color()));
    p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               QString::fromStdString(model_.caption()));
  }
}

void ControlWidget::mousePressEvent(QMouseEvent* e) {
  pressed_ = true;
  // A click outside the panels gives the keys back to the window.
  if (QWidget* top = window(); top && top->focusPolicy() != Qt::NoFocus)
    top->setFocus(Qt::MouseFocusReason);
  model_.mouse_down(mouse_event(e, true, scale()));
}

void ControlWidget::mouseMoveEvent(QMouseEvent* e) {
  model_.mouse_move(mouse_event(e, false, scale()));
}

void ControlWidget::mouseReleaseEvent(QMouseEvent* e) {
  model_.mouse_up(mouse_event(e, true, scale()));
  const bool inside = rect().contains(e->position().toPoint());
  if (pressed_ && inside && !double_clicked_ && e->button() == Qt::LeftButton) model_.click();
  pressed_ = double_clicked_ = false;
}

void ControlWidget::mouseDoubleClickEvent(QMouseEvent* e) {
  double_clicked_ = true;
  pressed_ = true;
  model_.mouse_down(mouse_event(e, true, scale()));
  model_.dbl_click();
}

void ControlWidget::leaveEvent(QEvent* e) {
  QWidget::leaveEvent(e);
  if (soft_capture() != this) return;
  // Where the pointer went, in the control's units; off the control in
  // any case.
  QPoint at = mapFromGlobal(QCursor::pos());
  if (rect().contains(at)) at = QPoint(-1, -1);
  MouseEvent m;
  m.button = button_mask(QGuiApplication::mouseButtons());
  m.x = at.x() * scale();
  m.y = at.y() * scale();
  model_.mouse_move(m);
}

void ControlWidget::pointer_taken() {
  pressed_ = double_clicked_ = false;
  MouseEvent m;
  m.x = m.y = -1;
  model_.mouse_move(m);
}

int ControlWidget::scale() const { return model_.kind() == ControlKind::Label ? kTwipsPerPixel : 1; }

bool ControlWidget::is_tab() const {
  const std::string& c = model_.caption();
  return model_.kind() == ControlKind::Label && !c.empty() && (c[0] == '\r' || c[0] == '\n');
}

void ControlWidget::paint_tab(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing, true);
  QPainterPath path;
  const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, 0.5);
  path.moveTo(box.bottomLeft());
  path.lineTo(box.left(), box.top() + 4);
  path.quadTo(box.topLeft(), QPointF(box.left() + 4, box.top()));
  path.lineTo(box.right() - 4, box.top());
  path.quadTo(box.topRight(), QPointF(box.right(), box.top() + 4));
  path.lineTo(box.bottomRight());
  p.fillPath(path, qcolor(model_.back_color()));
  p.setPen(skin::color(skin::kEdge));
  p.drawPath(path);
  p.setFont(form_font(model_.font_size(), model_.font_bold()));
  p.setPen(qcolor(model_.fore_color()));
  const QString text = QString::fromStdString(model_.caption()).trimmed();
  p.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text);
}

void ControlWidget::paint_frame(QPainter& p) {
  if (!model_.transparent()) p.fillRect(rect(), qcolor(model_.back_color()));
  const QFont font = form_font(model_.font_size(), model_.font_bold());
  const QFontMetrics m(font);
  const QString caption = QString::fromStdString(model_.caption());
  const int top = caption.isEmpty() ? 0 : m.height() / 2;
  p.setPen(skin::color(skin::kFrame));
  p.drawRect(rect().adjusted(0, top, -1, -1));
  if (caption.isEmpty()) return;
  const QRect label(8, 0, m.horizontalAdvance(caption) + 8, m.height());
  p.fillRect(label, qcolor(model_.back_color()));
  p.setFont(font);
  p.setPen(qcolor(model_.fore_color()));
  p.drawText(label, Qt::AlignCenter | Qt::TextSingleLine, caption);
}

}  // namespace tav::qt
