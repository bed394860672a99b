// The exit sequence.
#include "base/attempt.h"
#include "forms/ba1.h"
#include "platform/event_loop.h"
#include "platform/http.h"
#include "tray/tray_icon.h"

namespace tav {

void BA1::ttt_v() {
  removeTray(*this);
  attempt([&] {
    if (webPlayMode == 0) bo_but_Click(1);  // records the film's progress
  });
  attempt([&] {
    if (pf.http.still_executing()) pf.http.cancel();
  });
  unload_tip();
  unload();
  pf.loop.quit();
}

}  // namespace tav
