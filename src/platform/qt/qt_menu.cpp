// The forms' menus, and the tray icon's.
#include "platform/qt/qt_windows.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QTimer>
#include <map>

#include "platform/qt/qt_form_window.h"
#include "platform/qt/qt_input.h"
#include "platform/qt/qt_skin.h"

namespace tav::qt {

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
  popup.setStyleSheet(skin::menu_style_sheet());
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
