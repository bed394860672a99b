#include "platform/qt/qt_form_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWindow>
#include <algorithm>
#include <memory>

#include "platform/qt/qt_control_widget.h"
#include "platform/qt/qt_http.h"
#include "platform/qt/qt_input.h"
#include "platform/qt/qt_services.h"
#include "platform/qt/qt_skin.h"

namespace tav::qt {

FormWindow::FormWindow(Form& model) : QWidget(nullptr), model_(model) {
  setMouseTracking(true);
  setAttribute(Qt::WA_DeleteOnClose, false);
  if (model.borderless()) setWindowFlag(Qt::FramelessWindowHint, true);
  if (model.shown_without_focus()) setAttribute(Qt::WA_ShowWithoutActivating, true);
  setWindowIcon(QIcon(":/skin/tavori64.png"));
  QPalette pal = palette();
  pal.setColor(QPalette::Window, skin::color(skin::kWindow));
  setPalette(pal);
  if (!model.borderless()) {
    // A dialog of a fixed layout: no maximise button.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    skin_dialog();
  }
  setAutoFillBackground(true);
  // Keys reach the form when no panel has the focus.
  setFocusPolicy(Qt::ClickFocus);
}

void FormWindow::skin_dialog() {
  setFont(form_font(12, false));
  setStyleSheet(skin::dialog_style_sheet());
}

void FormWindow::begin_manual_drag(Qt::Edges edges, std::function<void()> finished) {
  drag_ = true;
  drag_edges_ = edges;
  drag_start_ = QCursor::pos();
  drag_geometry_ = geometry();
  drag_finished_ = std::move(finished);
  // Wayland grabs the pointer for popups only; the button held on the
  // window keeps its moves coming all the same.
  if (!on_wayland()) grabMouse();
}

void FormWindow::end_drag() {
  if (!drag_) return;
  drag_ = false;
  releaseMouse();
  if (auto f = std::move(drag_finished_)) f();
}

void FormWindow::watch_system_drag(bool move, std::function<void()> finished) {
  system_drag_ = true;
  drag_move_ = move;
  drag_done_ = std::move(finished);
  auto* poll = new QTimer(this);
  auto polls = std::make_shared<int>(0);
  drag_poll_ = poll;
  QObject::connect(poll, &QTimer::timeout, this, [this, polls] {
    const bool held = pointer_buttons_known() ? (pointer_buttons() & Qt::LeftButton) != 0 : true;
    if (held && ++*polls < 6000) return;
    end_system_drag();
  });
  poll->start(20);
}

void FormWindow::end_system_drag() {
  if (!system_drag_) return;
  if (drag_poll_) {
    drag_poll_->stop();
    drag_poll_->deleteLater();
  }
  system_drag_ = false;
  stale_buttons_ = true;
  if (!pointer_buttons_known() && windowHandle()) {
    // The compositor kept the release: the toolkit would go on sending
    // the pointer's moves to where the button went down, as to a button
    // still held.
    const QPointF at = mapFromGlobal(QCursor::pos());
    QMouseEvent release(QEvent::MouseButtonRelease, at, QCursor::pos(), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(windowHandle(), &release);
  }
  // The window manager moves from where the pointer was when it heard
  // of the move, not from the press: the steps before are made up
  // (unless it maximised the window on the way). Where the end is only
  // guessed, the window stays where the compositor left it.
  if (drag_move_ && pointer_buttons_known() &&
      !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
    move_with_pointer();
  sync_to_model();
  if (auto done = std::move(drag_done_)) done();
}

void FormWindow::move_with_pointer() {
  if (!press_known_) return;
  const QPoint d = QCursor::pos() - press_global_;
  if (!d.isNull()) move(press_geometry_.topLeft() + d);
}

void FormWindow::sync_to_model() {
  if (model_.window_state() != WindowState::Normal) return;
  const QRect g(model_.left() / 15, model_.top() / 15, model_.scale_width(),
                model_.scale_height());
  if (geometry().size() != g.size()) {
    applying = true;
    resize(g.size());
    applying = false;
  }
}

void FormWindow::apply_size_limits() {
  const SizeLimits& l = model_.size_limits();
  if (!l.installed) return;
  const int own_w = model_.scale_width(), own_h = model_.scale_height();
  if (model_.window_state() == WindowState::Normal) {
    kept_min_.setWidth(std::min(kept_min_.width(), own_w));
    kept_min_.setHeight(std::min(kept_min_.height(), own_h));
  }
  const int min_w = std::max(l.min_track_width, kept_min_.width());
  const int min_h = std::max(l.min_track_height, kept_min_.height());
  const int max_w = l.max_width > 0 ? std::max(l.max_width, min_w) : QWIDGETSIZE_MAX;
  const int max_h = l.max_height > 0 ? std::max(l.max_height, min_h) : QWIDGETSIZE_MAX;
  setMinimumSize(min_w, min_h);
  setMaximumSize(max_w, max_h);
}

void FormWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  paint_drawing(p, model_.drawing());
}

bool FormWindow::event(QEvent* e) {
  // A compositor gives the pointer back to the window when its move or
  // resize is over.
  if (system_drag_ && !pointer_buttons_known() &&
      (e->type() == QEvent::Enter || e->type() == QEvent::MouseButtonPress ||
       e->type() == QEvent::MouseButtonRelease))
    end_system_drag();
  return QWidget::event(e);
}

void FormWindow::changeEvent(QEvent* e) {
  QWidget::changeEvent(e);
  if (e->type() == QEvent::WindowStateChange && !isMinimized())
    QTimer::singleShot(0, this, [this] { wake_pages(); });
  if (e->type() != QEvent::WindowStateChange || applying) return;
  // Told as the window stands when the handlers may run.
  model_gate().deliver([self = QPointer<FormWindow>(this)] {
    if (!self) return;
    Form& model = self->model_;
    if (self->isMinimized() && model.window_state() != WindowState::Minimized) {
      model.backend_state_changed(WindowState::Minimized);
    } else if (!self->isMinimized() && model.window_state() == WindowState::Minimized) {
      model.backend_state_changed(WindowState::Normal);
    }
  });
}

void FormWindow::closeEvent(QCloseEvent* e) {
  e->ignore();
  model_gate().deliver([self = QPointer<FormWindow>(this)] {
    if (self && self->model_.on_close_request) self->model_.on_close_request();
  });
}

void FormWindow::mousePressEvent(QMouseEvent* e) {
  stale_buttons_ = false;
  press_known_ = true;
  press_global_ = e->globalPosition().toPoint();
  press_geometry_ = geometry();
  model_.mouse_down(mouse_event(e, true));
}

void FormWindow::mouseMoveEvent(QMouseEvent* e) {
  if (drag_) {
    manual_drag();
    return;
  }
  if (system_drag_) return;  // the window manager has it
  MouseEvent m = mouse_event(e, false);
  if (stale_buttons_) m.button = 0;
  model_.mouse_move(m);
}

void FormWindow::mouseReleaseEvent(QMouseEvent* e) {
  if (drag_) {
    end_drag();
    return;
  }
  stale_buttons_ = false;
  model_.mouse_up(mouse_event(e, true));
}

void FormWindow::keyPressEvent(QKeyEvent* e) {
  // A page passes on the keys it does not use: they were typed in the
  // page, not on the window.
  for (QWidget* f = QApplication::focusWidget(); f && f != this; f = f->parentWidget())
    if (qobject_cast<QWebEngineView*>(f)) return;
  if (const int key = virtual_key(e->key())) model_.key_down(key, shift_mask(e->modifiers()));
}

void FormWindow::report_geometry_soon() {
  if (applying || !isVisible()) return;
  if (!model_gate().busy()) {
    report_geometry();
    return;
  }
  if (geometry_waiting_) return;
  geometry_waiting_ = true;
  model_gate().deliver([self = QPointer<FormWindow>(this)] {
    if (!self) return;
    self->geometry_waiting_ = false;
    self->report_geometry();
  });
}

void FormWindow::wake_pages() {
  for (QWebEngineView* view : findChildren<QWebEngineView*>())
    if (view->isVisible() && !view->page()->isVisible()) view->page()->setVisible(true);
}

void FormWindow::report_geometry() {
  if (applying || !isVisible()) return;
  const QRect g = geometry();
  model_.backend_resized(g.x(), g.y(), g.width(), g.height());
  // The model kept a larger size than the one asked for: that is its
  // minimum, and the window manager is told so.
  if (model_.window_state() == WindowState::Normal && model_.size_limits().installed) {
    bool raised = false;
    if (model_.scale_width() > g.width() && model_.scale_width() > kept_min_.width()) {
      kept_min_.setWidth(model_.scale_width());
      raised = true;
    }
    if (model_.scale_height() > g.height() && model_.scale_height() > kept_min_.height()) {
      kept_min_.setHeight(model_.scale_height());
      raised = true;
    }
    if (raised) {
      applying = true;
      apply_size_limits();
      applying = false;
    }
  }
}

void FormWindow::manual_drag() {
  const QPoint d = QCursor::pos() - drag_start_;
  QRect g = drag_geometry_;
  if (drag_edges_ == Qt::Edges()) {
    g.moveTo(g.topLeft() + d);
  } else {
    if (drag_edges_ & Qt::LeftEdge) g.setLeft(g.left() + d.x());
    if (drag_edges_ & Qt::RightEdge) g.setRight(g.right() + d.x());
    if (drag_edges_ & Qt::TopEdge) g.setTop(g.top() + d.y());
    if (drag_edges_ & Qt::BottomEdge) g.setBottom(g.bottom() + d.y());
    if (g.width() < 50 || g.height() < 50) return;
  }
  setGeometry(g);
}

}  // namespace tav::qt
