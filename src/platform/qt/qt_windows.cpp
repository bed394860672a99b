#include "platform/qt/qt_windows.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QDateTime>
#include <QFontMetrics>
#include <QLabel>
#include <QLibrary>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#ifdef TAVORI_HAVE_XCB
#include <xcb/xcb.h>
#endif

#include "base/player_control.h"
#include "forms/browser.h"
#include "forms/player_site.h"
#include "platform/qt/qt_browser.h"
#include "platform/qt/qt_http.h"
#include "platform/qt/qt_services.h"
#include "suite/player/embedded_player.h"
#include "suite/registry/file_component_registry.h"

namespace tav::qt {

namespace {

QColor qcolor(Color c) { return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }

// A Wayland compositor: windows know neither where they are nor what the
// compositor made of a request to minimise them, and the pointer is grabbed
// only by popups.
bool on_wayland() {
  return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

// The control that holds the pointer where the platform cannot grab it
// (Wayland): it is told when the pointer leaves it, as a grab would have
// told it of the move that left it.
QPointer<QWidget> g_soft_capture;

int button_mask(Qt::MouseButtons b) {
  return ((b & Qt::LeftButton) ? 1 : 0) | ((b & Qt::RightButton) ? 2 : 0) |
         ((b & Qt::MiddleButton) ? 4 : 0);
}

int shift_mask(Qt::KeyboardModifiers m) {
  return ((m & Qt::ShiftModifier) ? 1 : 0) | ((m & Qt::ControlModifier) ? 2 : 0) |
         ((m & Qt::AltModifier) ? 4 : 0);
}

// The position comes in the control's own units: pixels, or twips for
// labels (scale 15), whose coordinates are those of their container.
MouseEvent mouse_event(const QMouseEvent* e, bool pressed_button, int scale = 1) {
  MouseEvent m;
  m.button = pressed_button ? button_mask(e->button()) : button_mask(e->buttons());
  m.shift = shift_mask(e->modifiers());
  m.x = static_cast<int>(e->position().x()) * scale;
  m.y = static_cast<int>(e->position().y()) * scale;
  return m;
}

// The buttons the pointer really holds. While the window manager moves or
// resizes a window it holds the pointer, and the release never reaches the
// toolkit, whose own idea of the buttons then stays "held".
Qt::MouseButtons pointer_buttons() {
#ifdef TAVORI_HAVE_XCB
  if (auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>()) {
    xcb_connection_t* c = x11->connection();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    if (c && screen) {
      xcb_query_pointer_reply_t* reply =
          xcb_query_pointer_reply(c, xcb_query_pointer(c, screen->root), nullptr);
      if (reply) {
        Qt::MouseButtons b;
        if (reply->mask & XCB_BUTTON_MASK_1) b |= Qt::LeftButton;
        if (reply->mask & XCB_BUTTON_MASK_2) b |= Qt::MiddleButton;
        if (reply->mask & XCB_BUTTON_MASK_3) b |= Qt::RightButton;
        std::free(reply);
        return b;
      }
    }
  }
#endif
  return QGuiApplication::mouseButtons();
}

// Whether pointer_buttons() tells the truth while a window is moved or
// resized by the window manager: an X server does; a Wayland compositor
// keeps the pointer to itself, and so does XWayland's X server, which the
// compositor does not tell of the pointer meanwhile.
bool pointer_buttons_known() {
#ifdef TAVORI_HAVE_XCB
  static const bool known = [] {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return false;
    xcb_connection_t* c = x11->connection();
    const char name[] = "XWAYLAND";
    xcb_query_extension_reply_t* reply =
        xcb_query_extension_reply(c, xcb_query_extension(c, sizeof name - 1, name), nullptr);
    bool xwayland = reply && reply->present;
    std::free(reply);
    // Older XWayland servers lack the extension, but name their outputs so.
    for (const QScreen* screen : QGuiApplication::screens())
      if (screen->name().startsWith(QLatin1String("XWAYLAND"))) xwayland = true;
    return !xwayland;
  }();
  return known;
#else
  return false;
#endif
}

// Key codes as the program knows them (virtual-key codes).
int virtual_key(int qt_key) {
  switch (qt_key) {
    case Qt::Key_Space: return 32;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Escape: return 27;
    default: break;
  }
  if (qt_key >= Qt::Key_A && qt_key <= Qt::Key_Z) return 'A' + (qt_key - Qt::Key_A);
  if (qt_key >= Qt::Key_0 && qt_key <= Qt::Key_9) return '0' + (qt_key - Qt::Key_0);
  return 0;
}

Qt::CursorShape cursor_shape(MousePointer p) {
  switch (p) {
    case MousePointer::SizeNS: return Qt::SizeVerCursor;
    case MousePointer::SizeWE: return Qt::SizeHorCursor;
    case MousePointer::SizeNWSE: return Qt::SizeFDiagCursor;
    case MousePointer::SizeNESW: return Qt::SizeBDiagCursor;
    case MousePointer::Hand: return Qt::PointingHandCursor;
    default: return Qt::ArrowCursor;
  }
}

void paint_drawing(QPainter& p, const std::vector<DrawOp>& drawing) {
  for (const DrawOp& op : drawing) {
    const QPixmap& pm = QtImages::pixmap(op.image.id);
    if (pm.isNull()) continue;
    p.drawPixmap(QRect(op.target.x, op.target.y, op.target.w, op.target.h), pm,
                 QRect(op.source.x, op.source.y, op.source.w, op.source.h));
  }
}

// A picture box, label or image.
class ControlWidget final : public QWidget {
 public:
  ControlWidget(Control& model, QWidget* parent) : QWidget(parent), model_(model) {
    setMouseTracking(true);
    setCursor(Qt::ArrowCursor);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
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
  void mousePressEvent(QMouseEvent* e) override {
    pressed_ = true;
    // A click outside the panels gives the keys back to the window.
    if (QWidget* top = window(); top && top->focusPolicy() != Qt::NoFocus)
      top->setFocus(Qt::MouseFocusReason);
    model_.mouse_down(mouse_event(e, true, scale()));
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    model_.mouse_move(mouse_event(e, false, scale()));
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    model_.mouse_up(mouse_event(e, true, scale()));
    const bool inside = rect().contains(e->position().toPoint());
    if (pressed_ && inside && !double_clicked_ && e->button() == Qt::LeftButton) model_.click();
    pressed_ = double_clicked_ = false;
  }
  void mouseDoubleClickEvent(QMouseEvent* e) override {
    double_clicked_ = true;
    pressed_ = true;
    model_.mouse_down(mouse_event(e, true, scale()));
    model_.dbl_click();
  }
  void leaveEvent(QEvent* e) override {
    QWidget::leaveEvent(e);
    if (g_soft_capture != this) return;
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

 public:
  // The pointer is taken away (a modal box opens): the control hears that
  // the pointer left it, and drops the hover face it shows.
  void pointer_taken() {
    pressed_ = double_clicked_ = false;
    MouseEvent m;
    m.x = m.y = -1;
    model_.mouse_move(m);
  }

 private:
  int scale() const { return model_.kind() == ControlKind::Label ? kTwipsPerPixel : 1; }
  // A label whose caption starts on its second line is a page tab: its
  // text stands in the middle of a box with rounded upper corners.
  bool is_tab() const {
    const std::string& c = model_.caption();
    return model_.kind() == ControlKind::Label && !c.empty() && (c[0] == '\r' || c[0] == '\n');
  }
  void paint_tab(QPainter& p) {
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
    p.setPen(QColor(0x5A, 0x5A, 0x50));
    p.drawPath(path);
    p.setFont(form_font(model_.font_size(), model_.font_bold()));
    p.setPen(qcolor(model_.fore_color()));
    const QString text = QString::fromStdString(model_.caption()).trimmed();
    p.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text);
  }
  // A frame: a thin border with its caption broken into the top edge.
  void paint_frame(QPainter& p) {
    if (!model_.transparent()) p.fillRect(rect(), qcolor(model_.back_color()));
    const QFont font = form_font(model_.font_size(), model_.font_bold());
    const QFontMetrics m(font);
    const QString caption = QString::fromStdString(model_.caption());
    const int top = caption.isEmpty() ? 0 : m.height() / 2;
    p.setPen(QColor(0x3A, 0x3A, 0x34));
    p.drawRect(rect().adjusted(0, top, -1, -1));
    if (caption.isEmpty()) return;
    const QRect label(8, 0, m.horizontalAdvance(caption) + 8, m.height());
    p.fillRect(label, qcolor(model_.back_color()));
    p.setFont(font);
    p.setPen(qcolor(model_.fore_color()));
    p.drawText(label, Qt::AlignCenter | Qt::TextSingleLine, caption);
  }
  Control& model_;
  bool pressed_ = false;
  bool double_clicked_ = false;
};

}  // namespace

// The window of a form.
class FormWindow final : public QWidget {
 public:
  explicit FormWindow(Form& model) : QWidget(nullptr), model_(model) {
    setMouseTracking(true);
    setAttribute(Qt::WA_DeleteOnClose, false);
    if (model.borderless()) setWindowFlag(Qt::FramelessWindowHint, true);
    if (model.shown_without_focus()) setAttribute(Qt::WA_ShowWithoutActivating, true);
    setWindowIcon(QIcon(":/skin/tavori64.png"));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0x07, 0x07, 0x07));
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

  Form& model() const { return model_; }
  // A window with the system's frame (a dialog): its check boxes, text
  // boxes and buttons in the skin's colours, light on dark.
  void skin_dialog() {
    setFont(form_font(12, false));
    setStyleSheet(
        "QCheckBox{color:#C8C8B0;spacing:6px;background:transparent;}"
        "QCheckBox:disabled{color:#555549;}"
        "QCheckBox::indicator{width:12px;height:12px;border:1px solid #5A5A50;"
        "background:#151515;}"
        "QCheckBox::indicator:hover{border-color:#80A8FF;}"
        "QCheckBox::indicator:checked{background:#3875D7;border-color:#80A8FF;"
        "image:url(:/skin/check.png);}"
        "QLineEdit{color:#E8E8D8;background:#151515;border:1px solid #3A3A34;"
        "padding:1px 4px;selection-background-color:#3875D7;}"
        "QLineEdit:focus{border-color:#80A8FF;}"
        "QPushButton{color:#E8E8D8;background:#26262A;border:1px solid #4A4A44;"
        "border-radius:2px;padding:2px 8px;}"
        "QPushButton:hover{background:#32323A;border-color:#80A8FF;}"
        "QPushButton:pressed{background:#26324A;}"
        "QPushButton:focus{border-color:#80A8FF;}"
        "QPushButton:disabled{color:#555549;}");
  }
  bool applying = false;  // the model is being mirrored: do not report back

  // Moves or resizes by hand while the button stays down, where the window
  // manager cannot do it.
  void begin_manual_drag(Qt::Edges edges, std::function<void()> finished) {
    drag_ = true;
    drag_edges_ = edges;
    drag_start_ = QCursor::pos();
    drag_geometry_ = geometry();
    drag_finished_ = std::move(finished);
    // Wayland grabs the pointer for popups only; the button held on the
    // window keeps its moves coming all the same.
    if (!on_wayland()) grabMouse();
  }
  void end_drag() {
    if (!drag_) return;
    drag_ = false;
    releaseMouse();
    if (auto f = std::move(drag_finished_)) f();
  }
  bool dragging() const { return drag_ || system_drag_; }

  // The window manager moves or resizes the window until the left button is
  // up; it holds the pointer meanwhile, so the end is seen by polling the
  // pointer, or, where the pointer's buttons cannot be asked for, by the
  // pointer coming back to the window. Afterwards the window takes the
  // model's geometry again (the model may have refused a size below its
  // minimum) and the buttons the toolkit still believes held are not
  // passed on until the next press.
  void watch_system_drag(bool move, std::function<void()> finished) {
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
  void end_system_drag() {
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
  // Where the button was released before the move could start: the window
  // goes where the pointer took it since the press.
  void move_with_pointer() {
    if (!press_known_) return;
    const QPoint d = QCursor::pos() - press_global_;
    if (!d.isNull()) move(press_geometry_.topLeft() + d);
  }
  void forget_held_buttons() { stale_buttons_ = true; }
  void sync_to_model() {
    if (model_.window_state() != WindowState::Normal) return;
    const QRect g(model_.left() / 15, model_.top() / 15, model_.scale_width(),
                  model_.scale_height());
    if (geometry().size() != g.size()) {
      applying = true;
      resize(g.size());
      applying = false;
    }
  }
  // The smallest size the model keeps: the limits it installed, raised to
  // what it restored when the window was made smaller, lowered again when
  // it makes itself smaller.
  void apply_size_limits() {
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

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    paint_drawing(p, model_.drawing());
  }
  bool event(QEvent* e) override {
    // A compositor gives the pointer back to the window when its move or
    // resize is over.
    if (system_drag_ && !pointer_buttons_known() &&
        (e->type() == QEvent::Enter || e->type() == QEvent::MouseButtonPress ||
         e->type() == QEvent::MouseButtonRelease))
      end_system_drag();
    return QWidget::event(e);
  }
  void resizeEvent(QResizeEvent*) override { report_geometry_soon(); }
  void moveEvent(QMoveEvent*) override { report_geometry_soon(); }
  void changeEvent(QEvent* e) override {
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
  void closeEvent(QCloseEvent* e) override {
    e->ignore();
    model_gate().deliver([self = QPointer<FormWindow>(this)] {
      if (self && self->model_.on_close_request) self->model_.on_close_request();
    });
  }
  void mousePressEvent(QMouseEvent* e) override {
    stale_buttons_ = false;
    press_known_ = true;
    press_global_ = e->globalPosition().toPoint();
    press_geometry_ = geometry();
    model_.mouse_down(mouse_event(e, true));
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    if (drag_) {
      manual_drag();
      return;
    }
    if (system_drag_) return;  // the window manager has it
    MouseEvent m = mouse_event(e, false);
    if (stale_buttons_) m.button = 0;
    model_.mouse_move(m);
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (drag_) {
      end_drag();
      return;
    }
    stale_buttons_ = false;
    model_.mouse_up(mouse_event(e, true));
  }
  void mouseDoubleClickEvent(QMouseEvent*) override { model_.dbl_click(); }
  void keyPressEvent(QKeyEvent* e) override {
    // A page passes on the keys it does not use: they were typed in the
    // page, not on the window.
    for (QWidget* f = QApplication::focusWidget(); f && f != this; f = f->parentWidget())
      if (qobject_cast<QWebEngineView*>(f)) return;
    if (const int key = virtual_key(e->key())) model_.key_down(key, shift_mask(e->modifiers()));
  }

 private:
  // Now, or once the handlers may run (the geometry of that moment, told
  // once however often it changed meanwhile).
  void report_geometry_soon() {
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
  // A window that is not minimised shows its pages. A Wayland compositor
  // does not say whether it minimised a window (a tiling one ignores the
  // request): the toolkit hides the pages for the request and takes the
  // window back as shown at once, without showing them again, and they
  // would stay blank until hidden and shown once more.
  void wake_pages() {
    for (QWebEngineView* view : findChildren<QWebEngineView*>())
      if (view->isVisible() && !view->page()->isVisible()) view->page()->setVisible(true);
  }
  void report_geometry() {
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
  void manual_drag() {
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

namespace {

// The player area: the player library's video widget fills it.
class PlayerHost final : public QWidget {
 public:
  explicit PlayerHost(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);
  }
  void show_message(const QString& text) {
    if (!message_) {
      message_ = new QLabel(this);
      message_->setAlignment(Qt::AlignCenter);
      message_->setWordWrap(true);
      message_->setStyleSheet("color:#9C9C81;font-size:13px;background:#000000;");
      layout()->addWidget(message_);
    }
    message_->setText(text);
  }
  void clear_message() {
    delete message_;
    message_ = nullptr;
  }
  // The player's video becomes a window of its own in full screen: it covers
  // the whole screen, also where no window manager does that for it.
  void watch_full_screen(QWidget* video) {
    video_ = video;
    video->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* o, QEvent* e) override {
    if (o == video_ && (e->type() == QEvent::WindowStateChange || e->type() == QEvent::Show))
      // A window manager makes the window cover the screen by itself, and
      // a request for its size made meanwhile would race it (sway then
      // lays out an XWayland window as an ordinary one): only where the
      // window is not covering the screen a moment later.
      QTimer::singleShot(300, this, [this] { cover_screen(); });
    return QWidget::eventFilter(o, e);
  }

 private:
  void cover_screen() {
    QWidget* v = video_;
    if (!v || !v->isWindow() || !(v->windowState() & Qt::WindowFullScreen)) return;
    QScreen* s = window()->screen();
    if (!s) s = QGuiApplication::primaryScreen();
    if (s && v->geometry() != s->geometry()) {
      v->setGeometry(s->geometry());
      v->raise();
    }
  }

  QPointer<QWidget> video_;
  QPointer<QLabel> message_;
};

}  // namespace

namespace {

// A player control that writes every call it passes on to the trace.
class TracingPlayer final : public PlayerControl {
 public:
  TracingPlayer(PlayerControl& inner, QtWindows& windows) : inner_(inner), windows_(windows) {}
  Variant get(int dispid) override { return inner_.get(dispid); }
  void put(int dispid, const Variant& value) override {
    windows_.trace("player put " + std::to_string(dispid) + " " + value.to_text());
    inner_.put(dispid, value);
  }
  void invoke(int dispid, const std::vector<Variant>& args) override {
    std::string line = "player call " + std::to_string(dispid);
    for (const Variant& a : args) line += " " + a.to_text();
    windows_.trace(line);
    inner_.invoke(dispid, args);
  }

 private:
  PlayerControl& inner_;
  QtWindows& windows_;
};

}  // namespace

QtWindows::QtWindows(const suite::FileComponentRegistry& registry) : registry_(registry) {}

QtWindows::~QtWindows() { flush_detached(); }

void QtWindows::set_trace(const std::string& path) {
  trace_.reset(std::fopen(path.c_str(), "a"));
}

void QtWindows::trace(const std::string& line) {
  if (!trace_) return;
  std::string one = line;
  for (char& c : one)
    if (c == '\n' || c == '\r') c = ' ';
  std::fprintf(trace_.get(), "%s\n", one.c_str());
  std::fflush(trace_.get());
}

QWidget* QtWindows::widget_of(const Control& control) {
  return static_cast<QWidget*>(control.backend_data);
}

FormWindow* QtWindows::window_of(const Form& form) {
  return static_cast<FormWindow*>(form.backend_data);
}

QWidget* QtWindows::make_widget(Control& control, QWidget* parent) {
  switch (control.kind()) {
    case ControlKind::Browser: {
      auto& browser = static_cast<Browser&>(control);
      auto panel = std::make_unique<QtBrowserPanel>(browser, parent);
      if (open_elsewhere_) panel->set_open_elsewhere(open_elsewhere_);
      if (trace_) {
        panel->on_load = [this, &browser](const std::string& url) {
          trace("navigate " + browser.name() + " " + url);
        };
        panel->on_trace = [this](const std::string& line) { trace(line); };
      }
      QWidget* view = panel->view();
      browser.set_panel(panel.get());
      panels_[&browser] = std::move(panel);
      return view;
    }
    case ControlKind::PlayerSite: {
      auto* host = new PlayerHost(parent);
      make_player(static_cast<PlayerSite&>(control), host);
      return host;
    }
    case ControlKind::CheckBox: {
      auto* box = new QCheckBox(QString::fromStdString(control.caption()), parent);
      Control* model = &control;
      QObject::connect(box, &QCheckBox::toggled, box, [model](bool on) {
        model->set_value(on ? 1 : 0);
        model->click();
      });
      return box;
    }
    case ControlKind::TextBox: {
      auto* edit = new QLineEdit(QString::fromStdString(control.text()), parent);
      Control* model = &control;
      QObject::connect(edit, &QLineEdit::textEdited, edit,
                       [model](const QString& t) { model->set_text(t.toStdString()); });
      return edit;
    }
    case ControlKind::CommandButton: {
      auto* button = new QPushButton(QString::fromStdString(control.caption()), parent);
      Control* model = &control;
      QObject::connect(button, &QPushButton::clicked, button, [model] { model->click(); });
      return button;
    }
    default: return new ControlWidget(control, parent);
  }
}

void QtWindows::make_player(PlayerSite& site, QWidget* host) {
  auto* view = static_cast<PlayerHost*>(host);
  last_player_attempt_ms_ = QDateTime::currentMSecsSinceEpoch();
  if (!registry_.can_create(suite::kPlayerClassId)) {
    player_problem_ = registry_.problem(suite::kPlayerClassId);
    view->show_message(QStringLiteral("播放器组件未注册，无法播放影片。"));
    // Registration may finish while the program runs: try again when the
    // player is asked for, now and then.
    site.on_missing_control = [this, &site, host] {
      if (QDateTime::currentMSecsSinceEpoch() - last_player_attempt_ms_ < 3000) return;
      make_player(site, host);
    };
    return;
  }
  site.on_missing_control = nullptr;
  view->clear_message();
  if (!player_library_) {
    player_library_ = std::make_unique<QLibrary>(
        QString::fromStdString(registry_.library_of(suite::kPlayerClassId)));
  }
  auto create =
      reinterpret_cast<suite::CreatePlayerFn>(player_library_->resolve(suite::kCreatePlayerSymbol));
  suite::EmbeddedPlayer* player = create ? create(host, nullptr) : nullptr;
  if (!player) {
    player_problem_ = player_library_->errorString().toStdString();
    view->show_message(QStringLiteral("无法载入播放器组件。"));
    return;
  }
  if (QWidget* w = player->widget()) {
    host->layout()->addWidget(w);
    w->show();
    view->watch_full_screen(w);
  }
  if (trace_) {
    traced_player_ = std::make_unique<TracingPlayer>(player->control(), *this);
    site.set_control(traced_player_.get());
  } else {
    site.set_control(&player->control());
  }
  players_[&site].reset(player);
}

void QtWindows::attach(Form& form) {
  auto* window = new FormWindow(form);
  form.backend_data = window;
  form.set_observer(this);
  for (const auto& c : form.controls()) {
    if (c->kind() == ControlKind::Timerless) continue;
    QWidget* parent = c->parent() ? widget_of(*c->parent()) : window;
    if (!parent) parent = window;
    QWidget* w = make_widget(*c, parent);
    c->backend_data = w;
    for (Change what : {Change::Geometry, Change::Visible, Change::Enabled}) apply_control(*c, what);
  }
  // The first declared control lies on top of the later ones.
  for (const auto& c : form.controls())
    if (QWidget* w = widget_of(*c)) w->lower();
  for (const auto& t : form.timers()) {
    auto* timer = new QTimer(window);
    Timer* model = t.get();
    // While a blocking request waits, one tick at most waits for it (as
    // timer messages do), and only if the timer still runs by then.
    auto waiting = std::make_shared<bool>(false);
    QObject::connect(timer, &QTimer::timeout, window, [model, timer, waiting] {
      DeliveryGate& gate = model_gate();
      if (!gate.busy()) {
        model->tick();
        return;
      }
      if (*waiting) return;
      *waiting = true;
      gate.deliver([model, waiting, alive = QPointer<QTimer>(timer)] {
        *waiting = false;
        if (alive && alive->isActive()) model->tick();
      });
    });
    t->backend_data = timer;
    timer_changed(*t);
  }
  for (Change what : {Change::Geometry, Change::Caption, Change::Region, Change::TopMost})
    apply_form(form, what);
  if (form.visible()) apply_form(form, Change::Visible);
}

void QtWindows::detach(Form& form) {
  FormWindow* window = window_of(form);
  if (!window) return;
  if (QWidget* grabber = QWidget::mouseGrabber(); grabber && grabber->window() == window)
    grabber->releaseMouse();
  for (const auto& t : form.timers()) {
    if (auto* timer = static_cast<QTimer*>(t->backend_data)) timer->stop();
    t->backend_data = nullptr;
  }
  for (const auto& c : form.controls()) {
    if (auto* site = dynamic_cast<PlayerSite*>(c.get())) {
      site->set_control(nullptr);
      site->on_missing_control = nullptr;
      traced_player_.reset();
      players_.erase(site);  // before its widget goes
    }
  }
  for (const auto& c : form.controls()) {
    if (auto* browser = dynamic_cast<Browser*>(c.get())) {
      browser->set_panel(nullptr);
      if (auto it = panels_.find(browser); it != panels_.end()) {
        detached_panels_.push_back(std::move(it->second));
        panels_.erase(it);
      }
    }
    c->backend_data = nullptr;
  }
  form.set_observer(nullptr);
  form.backend_data = nullptr;
  // A form often unloads itself from one of its own handlers (a click on
  // its close picture, its page asking for a window): its widgets and
  // pages go once that handler has returned to the event loop.
  window->hide();
  detached_windows_.push_back(window);
  if (!flush_pending_) {
    flush_pending_ = true;
    QTimer::singleShot(0, this, [this] { flush_detached(); });
  }
}

void QtWindows::flush_detached() {
  flush_pending_ = false;
  // The panels first: they let go of their pages before the windows go.
  auto panels = std::move(detached_panels_);
  panels.clear();
  auto windows = std::move(detached_windows_);
  for (QPointer<FormWindow>& w : windows) delete w.data();
}

void QtWindows::form_changed(Form& form, Change what) { apply_form(form, what); }

void QtWindows::control_changed(Control& control, Change what) { apply_control(control, what); }

void QtWindows::apply_form(Form& form, Change what) {
  FormWindow* w = window_of(form);
  if (!w) return;
  w->applying = true;
  switch (what) {
    case Change::Geometry:
    case Change::WindowState: {
      QRect g(form.left() / 15, form.top() / 15, form.scale_width(), form.scale_height());
      // A window with the system's frame that its form has not placed
      // stands in the middle of the screen, its frame on the screen too.
      if (!form.borderless() && form.left() == 0 && form.top() == 0)
        if (const QScreen* screen = QGuiApplication::primaryScreen())
          g.moveCenter(screen->availableGeometry().center());
      if (form.window_state() == WindowState::Minimized) {
        if (w->isVisible()) w->showMinimized();
      } else {
        if (w->isMinimized()) w->showNormal();
        w->apply_size_limits();
        // A window with the system's frame and no size limits of its own
        // keeps the size its form gives it.
        if (!form.borderless() && !form.size_limits().installed) w->setFixedSize(g.size());
        if (w->geometry() != g) w->setGeometry(g);
      }
      break;
    }
    case Change::Visible:
      trace(form.name() + (form.visible() ? " shown" : " hidden"));
      if (form.visible()) {
        w->show();
        w->raise();
        w->activateWindow();
      } else {
        w->hide();
      }
      break;
    case Change::Caption: w->setWindowTitle(QString::fromStdString(form.caption())); break;
    case Change::TopMost: {
      Qt::WindowFlags flags = w->windowFlags();
      flags.setFlag(Qt::WindowStaysOnTopHint, form.top_most());
      if (QWindow* handle = w->windowHandle()) {
        // Told to the window system for the window as it is: made anew, it
        // would flicker and take the native windows inside it (the video)
        // along.
        w->overrideWindowFlags(flags);
        handle->setFlags(flags);
      } else {
        w->setWindowFlags(flags);
      }
      break;
    }
    case Change::Region: {
      const WindowRegion& r = form.region();
      if (r.width > 0 && r.height > 0) {
        QPainterPath path;
        path.addRoundedRect(QRectF(0, 0, r.width - 1, r.height - 1), r.ellipse_width / 2.0,
                            r.ellipse_height / 2.0);
        w->setMask(QRegion(path.toFillPolygon().toPolygon()));
      }
      break;
    }
    case Change::Pointer: w->setCursor(cursor_shape(form.mouse_pointer())); break;
    case Change::Drawing:
    case Change::Refresh: w->update(); break;
    default: break;
  }
  w->applying = false;
}

void QtWindows::apply_control(Control& control, Change what) {
  if (trace_) {
    if (what == Change::Caption) trace(control.id() + " caption " + control.caption());
    if (what == Change::ToolTip) trace(control.id() + " tooltip " + control.tooltip());
    if (what == Change::Visible) trace(control.id() + (control.visible() ? " shown" : " hidden"));
  }
  QWidget* w = widget_of(control);
  if (!w) return;
  switch (what) {
    case Change::Geometry: {
      const Rect& r = control.geometry();
      w->setGeometry(r.x, r.y, r.w, r.h);
      break;
    }
    case Change::Visible: w->setVisible(control.visible()); break;
    case Change::Enabled: w->setEnabled(control.enabled()); break;
    case Change::Caption:
      if (auto* box = qobject_cast<QCheckBox*>(w)) box->setText(QString::fromStdString(control.caption()));
      else if (auto* b = qobject_cast<QPushButton*>(w)) b->setText(QString::fromStdString(control.caption()));
      w->update();
      break;
    case Change::Value:
      if (auto* box = qobject_cast<QCheckBox*>(w)) {
        const QSignalBlocker block(box);
        box->setChecked(control.value() != 0);
      }
      break;
    case Change::Text:
      if (auto* edit = qobject_cast<QLineEdit*>(w))
        if (edit->text().toStdString() != control.text()) edit->setText(QString::fromStdString(control.text()));
      break;
    default: w->update(); break;
  }
}

void QtWindows::timer_changed(Timer& timer) {
  auto* t = static_cast<QTimer*>(timer.backend_data);
  if (!t) return;
  if (timer.enabled() && timer.interval() > 0) {
    if (!t->isActive() || t->interval() != timer.interval()) t->start(timer.interval());
  } else {
    t->stop();
  }
}

void QtWindows::set_capture(Control& control) {
  QWidget* w = widget_of(control);
  if (!w || !w->isVisible()) return;
  if (on_wayland()) {
    g_soft_capture = w;
    return;
  }
  if (QWidget::mouseGrabber() != w) w->grabMouse();
}

void QtWindows::release_capture() {
  g_soft_capture = nullptr;
  if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
}

void QtWindows::release_pointer_for_modal() {
  if (QWidget* held = g_soft_capture) {
    g_soft_capture = nullptr;
    if (auto* control = dynamic_cast<ControlWidget*>(held)) control->pointer_taken();
  }
  QWidget* grabber = QWidget::mouseGrabber();
  if (!grabber) return;
  grabber->releaseMouse();
  if (auto* window = dynamic_cast<FormWindow*>(grabber)) {
    window->end_drag();
  } else if (auto* control = dynamic_cast<ControlWidget*>(grabber)) {
    control->pointer_taken();
  }
  if (QWidget* left = QWidget::mouseGrabber()) left->releaseMouse();
}

void QtWindows::start_system_move(Form& form) {
  FormWindow* w = window_of(form);
  if (!w || w->dragging()) return;  // one move per press
  if (!(pointer_buttons() & Qt::LeftButton)) {
    // The button is up already: a move started now would follow the
    // pointer until the next click.
    w->move_with_pointer();
    w->forget_held_buttons();
    return;
  }
  // The window catches up with the pointer, which may have gone on since
  // the press. Not under a Wayland compositor: it places the window itself
  // (and does not tell XWayland's windows where it put them), and moves it
  // from where the pointer is now.
  if (pointer_buttons_known()) w->move_with_pointer();
  if (w->windowHandle() && w->windowHandle()->startSystemMove()) {
    w->watch_system_drag(true, nullptr);
    return;
  }
  w->begin_manual_drag(Qt::Edges(), nullptr);
}

void QtWindows::start_system_resize(Form& form, HitCode edge, std::function<void()> finished) {
  FormWindow* w = window_of(form);
  if (!w || w->dragging()) return;
  Qt::Edges edges;
  switch (edge) {
    case HitCode::Left: edges = Qt::LeftEdge; break;
    case HitCode::Right: edges = Qt::RightEdge; break;
    case HitCode::Top: edges = Qt::TopEdge; break;
    case HitCode::Bottom: edges = Qt::BottomEdge; break;
    case HitCode::TopLeft: edges = Qt::TopEdge | Qt::LeftEdge; break;
    case HitCode::TopRight: edges = Qt::TopEdge | Qt::RightEdge; break;
    case HitCode::BottomLeft: edges = Qt::BottomEdge | Qt::LeftEdge; break;
    case HitCode::BottomRight: edges = Qt::BottomEdge | Qt::RightEdge; break;
    default: return;
  }
  if (!(pointer_buttons() & Qt::LeftButton)) return;  // a click on the border, no drag
  if (w->windowHandle() && w->windowHandle()->startSystemResize(edges)) {
    w->watch_system_drag(false, std::move(finished));
    return;
  }
  w->begin_manual_drag(edges, std::move(finished));
}

namespace {
int g_tray_menu_scopes = 0;
}

QtWindows::TrayMenuScope::TrayMenuScope() { ++g_tray_menu_scopes; }
QtWindows::TrayMenuScope::~TrayMenuScope() { --g_tray_menu_scopes; }

void QtWindows::popup_menu(Form& owner, Menu& menu, std::optional<Point> at) {
  release_pointer_for_modal();
  QMenu popup;
  // A Wayland popup lies on one of the program's windows, where the
  // pointer last was in it: the tray's menu would stand inside the main
  // window, or, with the window hidden, be taken for a window and laid
  // out as one (full screen by a tiling compositor). The menu of the
  // icon is a small window of its own instead, which the compositor
  // floats and places; it goes with a choice, Esc, or a click in another
  // window of the program.
  const bool own_window = on_wayland() && g_tray_menu_scopes > 0 && !at;
  std::unique_ptr<QObject> closer;
  if (own_window) {
    popup.setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    popup.setWindowTitle(QString::fromStdString(menu.name));
  }
  popup.setStyleSheet(
      "QMenu{background:#151515;color:#C8C8B0;border:1px solid #2A2929;font-size:12px;}"
      "QMenu::item{padding:5px 24px 5px 18px;}QMenu::item:selected{background:#26324A;"
      "color:#FFFFFF;}QMenu::item:disabled{color:#555549;}QMenu::separator{height:1px;"
      "background:#2A2929;margin:3px 6px;}");
  std::map<QAction*, std::string> items;
  for (const MenuItem& item : menu.items) {
    if (!item.visible) continue;
    if (item.caption == "-") {
      popup.addSeparator();
      continue;
    }
    QAction* a = popup.addAction(QString::fromStdString(item.caption));
    a->setEnabled(item.enabled);
    items[a] = item.name;
  }
  QPoint where = QCursor::pos();
  if (at) {
    Form* f = &owner;
    if (FormWindow* w = window_of(*f)) where = w->mapToGlobal(QPoint(at->x, at->y));
  }
  if (own_window) {
    // Of a fixed size: a compositor that tiles windows floats it.
    popup.ensurePolished();
    popup.setFixedSize(popup.sizeHint());
    struct Closer final : QObject {
      explicit Closer(QMenu& m) : menu(m) {}
      bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::MouseButtonPress && o->isWidgetType() &&
            static_cast<QWidget*>(o)->window() != &menu)
          menu.close();
        return false;
      }
      QMenu& menu;
    };
    closer = std::make_unique<Closer>(popup);
    qApp->installEventFilter(closer.get());
    QTimer::singleShot(0, &popup, [&popup] {
      popup.activateWindow();
      popup.setFocus(Qt::PopupFocusReason);
    });
  }
  if (trace_) {
    // Once it stands on the screen: its items, enabled or not, and where.
    // A menu in a window of its own does not know where the compositor put
    // it: its boxes are inside it.
    QTimer::singleShot(0, &popup, [this, &popup, &menu, own_window] {
      std::string line = "menu " + menu.name + " shown";
      const QPoint origin = own_window ? QPoint(0, 0) : popup.geometry().topLeft();
      for (QAction* a : popup.actions()) {
        if (a->isSeparator()) continue;
        const QRect r = popup.actionGeometry(a).translated(origin);
        line += " | " + a->text().toStdString() + (a->isEnabled() ? " on " : " off ") +
                std::to_string(r.x()) + "," + std::to_string(r.y()) + "," +
                std::to_string(r.width()) + "," + std::to_string(r.height());
      }
      trace(line);
    });
  }
  // A menu in a window of its own stays open when an item is chosen, as a
  // torn-off menu does: it closes here.
  QAction* chosen_in_window = nullptr;
  if (own_window)
    QObject::connect(&popup, &QMenu::triggered, &popup, [&popup, &chosen_in_window](QAction* a) {
      chosen_in_window = a;
      popup.close();
    });
  QAction* chosen = popup.exec(where);
  if (!chosen) chosen = chosen_in_window;
  const auto it = chosen ? items.find(chosen) : items.end();
  if (it == items.end()) {
    trace("menu " + menu.name + " closed");
    return;
  }
  trace("menu " + menu.name + " chose " + it->second);
  if (const MenuItem* item = menu.find(it->second)) item->click();
}

}  // namespace tav::qt
