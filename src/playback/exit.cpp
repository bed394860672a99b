// The exit sequence.
#include "base/attempt.h"
#include "base/text.h"
#include "forms/ba1.h"
#include "platform/event_loop.h"
#include "platform/http.h"
#include "platform/processes.h"
#include "playback/processes.h"
#include "tray/tray_icon.h"

namespace tav {

void BA1::ttt_v() {
  exitRan = true;
  removeTray(*this);
  int qvodk = 0;
  attempt([&] { qvodk = to_int32(setting("S_q", "qvodk")); });
  attempt([&] {
    if (webPlayMode == 0) bo_but_Click(1);  // records the film's progress
  });
  if (qvodk == 2) {
    attempt([&] { killProcessByName(pf.processes, kQvodPlayer); });
    attempt([&] { killProcessByName(pf.processes, kQvodTerminal); });
    attempt([&] { sweepTrayIcons(*this); });
  }
  attempt([&] {
    if (pf.http.still_executing()) pf.http.cancel();
  });
  // tip, BA3, BA1 and adsb, in this order; the notice window, when the
  // version file asks for one, decides later when the program ends.
  attempt([&] { unload_tip(); });
  attempt([&] { unload_ba3(); });
  attempt([&] { unload(); });
  attempt([&] { unload_adsb(); });
  showNotice();
}

void BA1::endSession() {
  if (exitRan) {  // only the notice window is left
    unload_ba4();
    pf.loop.quit();
    return;
  }
  exitNotice = "0";
  ttt_v();
}

}  // namespace tav
