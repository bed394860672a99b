#include "platform/qt/qt_windows.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

#include "forms/browser.h"
#include "forms/player_site.h"
#include "platform/qt/qt_browser.h"
#include "platform/qt/qt_control_widget.h"
#include "platform/qt/qt_form_window.h"
#include "platform/qt/qt_http.h"
#include "platform/qt/qt_input.h"

namespace tav::qt {

QtWindows::QtWindows(const suite::FileComponentRegistry& registry) : players_(registry) {}

QtWindows::~QtWindows() { flush_detached(); }

void QtWindows::set_trace(const std::string& path) {
  trace_.reset(std::fopen(path.c_str(), "a"));
  if (trace_) players_.trace = [this](const std::string& line) { trace(line); };
  else players_.trace = nullptr;
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
    case ControlKind::PlayerSite: return players_.make_host(static_cast<PlayerSite&>(control), parent);
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
    if (auto* site = dynamic_cast<PlayerSite*>(c.get())) players_.drop(*site);
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
    soft_capture() = w;
    return;
  }
  if (QWidget::mouseGrabber() != w) w->grabMouse();
}

void QtWindows::release_capture() {
  soft_capture() = nullptr;
  if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
}

void QtWindows::release_pointer_for_modal() {
  if (QWidget* held = soft_capture()) {
    soft_capture() = nullptr;
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

}  // namespace tav::qt
