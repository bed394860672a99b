#include "platform/qt/qt_input.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#ifdef TAVORI_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace tav::qt {

bool on_wayland() {
  return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

QPointer<QWidget>& soft_capture() {
  static QPointer<QWidget> held;
  return held;
}

int button_mask(Qt::MouseButtons b) {
  return ((b & Qt::LeftButton) ? 1 : 0) | ((b & Qt::RightButton) ? 2 : 0) |
         ((b & Qt::MiddleButton) ? 4 : 0);
}

int shift_mask(Qt::KeyboardModifiers m) {
  return ((m & Qt::ShiftModifier) ? 1 : 0) | ((m & Qt::ControlModifier) ? 2 : 0) |
         ((m & Qt::AltModifier) ? 4 : 0);
}

MouseEvent mouse_event(const QMouseEvent* e, bool pressed_button, int scale) {
  MouseEvent m;
  m.button = pressed_button ? button_mask(e->button()) : button_mask(e->buttons());
  m.shift = shift_mask(e->modifiers());
  m.x = static_cast<int>(e->position().x()) * scale;
  m.y = static_cast<int>(e->position().y()) * scale;
  return m;
}

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

}  // namespace tav::qt
