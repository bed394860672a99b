#include "window/region.h"

#include "forms/form.h"
#include "platform/screen.h"

namespace tav {

void setWindowRegion(Form&) {}

void installSizeLimits(Form&, const Screen&, int, int, int, int) {}

}  // namespace tav
