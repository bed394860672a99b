// The window of a form: mirrors its geometry and state back to the model,
// passes on the pointer and the keys, and moves or resizes the window by
// hand or through the window manager.
#pragma once

#include <QPointer>
#include <QRect>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "forms/form.h"

namespace tav::qt {

class FormWindow final : public QWidget {
 public:
  explicit FormWindow(Form& model);

  Form& model() const { return model_; }
  // A window with the system's frame (a dialog): its check boxes, text
  // boxes and buttons in the skin's colours, light on dark.
  void skin_dialog();
  bool applying = false;  // the model is being mirrored: do not report back

  // Moves or resizes by hand while the button stays down, where the window
  // manager cannot do it.
  void begin_manual_drag(Qt::Edges edges, std::function<void()> finished);
  void end_drag();
  bool dragging() const { return drag_ || system_drag_; }

  // The window manager moves or resizes the window until the left button is
  // up; it holds the pointer meanwhile, so the end is seen by polling the
  // pointer, or, where the pointer's buttons cannot be asked for, by the
  // pointer coming back to the window. Afterwards the window takes the
  // model's geometry again (the model may have refused a size below its
  // minimum) and the buttons the toolkit still believes held are not
  // passed on until the next press.
  void watch_system_drag(bool move, std::function<void()> finished);
  void end_system_drag();
  // Where the button was released before the move could start: the window
  // goes where the pointer took it since the press.
  void move_with_pointer();
  void forget_held_buttons() { stale_buttons_ = true; }
  void sync_to_model();
  // The smallest size the model keeps: the limits it installed, raised to
  // what it restored when the window was made smaller, lowered again when
  // it makes itself smaller.
  void apply_size_limits();

 protected:
  void paintEvent(QPaintEvent*) override;
  bool event(QEvent* e) override;
  void resizeEvent(QResizeEvent*) override { report_geometry_soon(); }
  void moveEvent(QMoveEvent*) override { report_geometry_soon(); }
  void changeEvent(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent*) override { model_.dbl_click(); }
  void keyPressEvent(QKeyEvent* e) override;

 private:
  // Now, or once the handlers may run (the geometry of that moment, told
  // once however often it changed meanwhile).
  void report_geometry_soon();
  // A window that is not minimised shows its pages. A Wayland compositor
  // does not say whether it minimised a window (a tiling one ignores the
  // request): the toolkit hides the pages for the request and takes the
  // window back as shown at once, without showing them again, and they
  // would stay blank until hidden and shown once more.
  void wake_pages();
  void report_geometry();
  void manual_drag();

  Form& model_;
  bool geometry_waiting_ = false;
  bool system_drag_ = false;
  bool drag_move_ = false;
  std::function<void()> drag_done_;
  QPointer<QTimer> drag_poll_;
  bool stale_buttons_ = false;
  bool press_known_ = false;
  QPoint press_global_;
  QRect press_geometry_;
  QSize kept_min_{0, 0};
  bool drag_ = false;
  Qt::Edges drag_edges_;
  QPoint drag_start_;
  QRect drag_geometry_;
  std::function<void()> drag_finished_;
};

}  // namespace tav::qt
