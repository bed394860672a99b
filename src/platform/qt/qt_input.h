// The pointer and the keys as the form model knows them: buttons, shift
// states, key codes and cursor shapes; the pointer's real buttons (asked of
// the X server); where the pointer is held without a grab (Wayland).
#pragma once

#include <QPointer>
#include <Qt>

#include "base/geometry.h"
#include "forms/control.h"

class QMouseEvent;
class QWidget;

namespace tav::qt {

// A Wayland compositor: windows know neither where they are nor what the
// compositor made of a request to minimise them, and the pointer is grabbed
// only by popups.
bool on_wayland();

// The control that holds the pointer where the platform cannot grab it
// (Wayland): it is told when the pointer leaves it, as a grab would have
// told it of the move that left it.
QPointer<QWidget>& soft_capture();

int button_mask(Qt::MouseButtons b);
int shift_mask(Qt::KeyboardModifiers m);

// The position comes in the control's own units: pixels, or twips for
// labels (scale 15), whose coordinates are those of their container.
MouseEvent mouse_event(const QMouseEvent* e, bool pressed_button, int scale = 1);

// The buttons the pointer really holds. While the window manager moves or
// resizes a window it holds the pointer, and the release never reaches the
// toolkit, whose own idea of the buttons then stays "held".
Qt::MouseButtons pointer_buttons();

// Whether pointer_buttons() tells the truth while a window is moved or
// resized by the window manager: an X server does; a Wayland compositor
// keeps the pointer to itself, and so does XWayland's X server, which the
// compositor does not tell of the pointer meanwhile.
bool pointer_buttons_known();

// Key codes as the program knows them (virtual-key codes); 0 for a key it
// does not know.
int virtual_key(int qt_key);

Qt::CursorShape cursor_shape(MousePointer p);

}  // namespace tav::qt
