// The end of the desktop session, and the signals by which a session, a
// service manager or a user tells the program to end (SIGTERM, SIGHUP,
// SIGINT): the program then ends through its own exit steps, so that
// nothing it records is lost. A second signal ends it at once, and so does
// a first one whose steps have not ended the program within a few seconds.
#pragma once

#include <functional>

namespace tav::qt {

// Installs the handlers; `before` runs at once on the user-interface
// thread (it may cancel a blocking request that holds the program), `end`
// then through the backend's delivery gate. Once per process, after the
// application object exists.
void on_session_end(std::function<void()> before, std::function<void()> end);

}  // namespace tav::qt
