#include "platform/qt/qt_session_end.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/qt/qt_http.h"

namespace tav::qt {

namespace {

int signal_pipe[2] = {-1, -1};
std::atomic<bool> signalled{false};

// How long the exit steps may take before the process ends regardless.
constexpr auto kExitBound = std::chrono::seconds(4);

void on_signal(int number) {
  if (signalled.exchange(true)) _exit(128 + number);  // the second: at once
  const char byte = static_cast<char>(number);
  [[maybe_unused]] const ssize_t n = ::write(signal_pipe[1], &byte, 1);
}

}  // namespace

void on_session_end(std::function<void()> before, std::function<void()> end) {
  if (signal_pipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signal_pipe) != 0) return;
  auto ending = std::make_shared<bool>(false);
  auto run = [before = std::move(before), end = std::move(end), ending] {
    if (*ending) return;
    *ending = true;
    // Whatever the steps meet (a server that does not answer, a wedged
    // engine), the process does not outlive them by much.
    std::thread([] {
      std::this_thread::sleep_for(kExitBound);
      std::_Exit(0);
    }).detach();
    if (before) before();
    model_gate().deliver(end);
  };
  auto* notifier = new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read, qApp);
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [run] {
    char byte = 0;
    [[maybe_unused]] const ssize_t n = ::read(signal_pipe[0], &byte, 1);
    run();
  });
  // The session manager's last call before the session ends.
  QObject::connect(qGuiApp, &QGuiApplication::commitDataRequest, qGuiApp,
                   [run](QSessionManager&) { run(); }, Qt::DirectConnection);
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int number : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(number, &action, nullptr);
}

}  // namespace tav::qt
