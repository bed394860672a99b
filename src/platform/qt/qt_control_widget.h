// The widget of a picture box, label, image or frame: paints what its
// control holds (its colour, picture, drawing and caption) and passes the
// pointer on to it.
#pragma once

#include <QColor>
#include <QWidget>
#include <vector>

#include "forms/control.h"

class QPainter;

namespace tav::qt {

// A colour of the form model (0xRRGGBB).
QColor qcolor(Color c);

// The images drawn onto a form or control, in order.
void paint_drawing(QPainter& p, const std::vector<DrawOp>& drawing);

class ControlWidget final : public QWidget {
 public:
  ControlWidget(Control& model, QWidget* parent);

  // The pointer is taken away (a modal box opens): the control hears that
  // the pointer left it, and drops the hover face it shows.
  void pointer_taken();

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void leaveEvent(QEvent* e) override;

 private:
  int scale() const;
  // A label whose caption starts on its second line is a page tab: its
  // text stands in the middle of a box with rounded upper corners.
  bool is_tab() const;
  void paint_tab(QPainter& p);
  // A frame: a thin border with its caption broken into the top edge.
  void paint_frame(QPainter& p);

  Control& model_;
  bool pressed_ = false;
  bool double_clicked_ = false;
};

}  // namespace tav::qt
