#include "window/region.h"

#include "forms/form.h"
#include "platform/screen.h"

namespace tav {

void setWindowRegion(Form& window) {
  const int w = Form::twips_to_pixels(window.width());
  const int h = Form::twips_to_pixels(window.height());
  window.set_region({w + 1, h + 1, 4, 4});
}

void installSizeLimits(Form& window, const Screen& screen, int min_width, int min_height,
                       int max_width, int max_height) {
  SizeLimits limits;
  limits.min_track_width = min_width;
  limits.min_track_height = min_height;
  limits.max_width = max_width != 0 ? max_width : screen.width_twips() / kTwipsPerPixel;
  limits.max_height = max_height != 0 ? max_height : screen.height_twips() / kTwipsPerPixel;
  limits.installed = true;
  window.set_size_limits(limits);
}

}  // namespace tav
