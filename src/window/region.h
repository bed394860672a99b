// The borderless main window's rounded region and its size limits.
#pragma once

namespace tav {

class Form;
class Screen;

// Clips the window to a rounded rectangle of its current size.
void setWindowRegion(Form& window);
// Stores the limits on the window: the smallest size the user can drag it
// to, and the size it takes when maximised (also the largest it can be
// dragged to). A maximum of 0 stands for the screen's size.
void installSizeLimits(Form& window, const Screen& screen, int min_width, int min_height,
                       int max_width, int max_height);

}  // namespace tav
