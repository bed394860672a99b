// The player suite's processes once after start: a standalone player is
// ended, the service made to run, and the suite's folder recorded.
#include "base/attempt.h"
#include "base/text.h"
#include "forms/ba1.h"
#include "platform/event_loop.h"
#include "platform/processes.h"
#include "platform/shell.h"
#include "playback/processes.h"
#include "tray/tray_icon.h"
#include "web/link_protocol.h"

namespace tav {

void BA1::Timer3_Timer() {
  Timer3.set_enabled(false);
  std::string servicePath;
  if (to_int32(setting("S_q", "qvodqi")) != 1) {
    // Whole image names, in any letter case.
    attempt([&] {
      for (const ProcessEntry& p : pf.processes.list()) {
        if (!iequals_ascii(p.image_name, kQvodPlayer)) continue;
        qvodDir = p.executable_path;
        attempt([&] { pf.processes.terminate(p.id); });
      }
    });
    qvodDir = replace_all(qvodDir, kQvodPlayer, "");
    bool serviceRuns = false;
    attempt([&] {
      for (const ProcessEntry& p : pf.processes.list()) {
        if (!iequals_ascii(p.image_name, kQvodTerminal)) continue;
        servicePath = p.executable_path;
        serviceRuns = true;
      }
    });
    attempt([&] { sweepTrayIcons(*this); });
    if (!serviceRuns) {
      attempt([&] {
        pf.loop.do_events();
        pf.shell.start(command_for(qvodDir + std::string(kQvodTerminal)),
                       WindowStyle::MinimizedFocus);
      });
    }
  }
  if (qvodDir.empty()) qvodDir = replace_all(servicePath, kQvodTerminal, "");
  if (qvodDir.empty()) return;
  put_setting("S_q", "qvodw", qvodDir);
}

}  // namespace tav
