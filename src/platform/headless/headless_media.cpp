#include "platform/headless/headless_media.h"

namespace tav {

void HeadlessScreenSaver::inhibit(bool on) {
  if (on != inhibited) ++changes;
  inhibited = on;
  log_.add(on ? "screen saver inhibited" : "screen saver released");
}

}  // namespace tav
