// QvodTerminal.exe: the suite's background service, once per user.
//   QvodTerminal.exe        runs until SIGTERM, SIGINT or SIGHUP (arguments are ignored)
// Exit codes: 0 ended, 1 cannot start, 3 another one runs for this user.
#include <fcntl.h>
#include <httplib.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "suite/player/terminal_link.h"
#include "suite/terminal/terminal.h"

namespace {

using namespace tav::suite;

std::string own_folder() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  path[n] = '\0';
  std::string folder(path);
  const std::size_t slash = folder.rfind('/');
  return slash == std::string::npos || slash == 0 ? std::string("/") : folder.substr(0, slash);
}

std::string random_token() {
  unsigned char bytes[16] = {};
  const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  bool ok = fd >= 0 && ::read(fd, bytes, sizeof bytes) == static_cast<ssize_t>(sizeof bytes);
  if (fd >= 0) ::close(fd);
  if (!ok) return {};
  static const char digits[] = "0123456789abcdef";
  std::string token;
  for (unsigned char b : bytes) {
    token += digits[b >> 4];
    token += digits[b & 15];
  }
  return token;
}

// The lock file is still the one this process holds (someone may have
// removed the runtime folder: then another service could start, and this
// one steps aside).
bool still_locked(int fd, const std::string& path) {
  struct stat held {}, now {};
  if (::fstat(fd, &held) != 0 || ::stat(path.c_str(), &now) != 0) return false;
  return held.st_dev == now.st_dev && held.st_ino == now.st_ino;
}

}  // namespace

int main() {
  // Arguments (a starter may add its own) are ignored.
  ::signal(SIGPIPE, SIG_IGN);
  // A file size limit makes writes fail (EFBIG) instead of ending the process.
  ::signal(SIGXFSZ, SIG_IGN);
  sigset_t ending;
  sigemptyset(&ending);
  sigaddset(&ending, SIGTERM);
  sigaddset(&ending, SIGINT);
  sigaddset(&ending, SIGHUP);
  // Every thread started from here on leaves these to the main loop.
  pthread_sigmask(SIG_BLOCK, &ending, nullptr);

  const std::string runtime = terminal_runtime_folder();
  if (runtime.empty()) {
    std::fprintf(stderr, "QvodTerminal: no private runtime folder\n");
    return 1;
  }
  const std::string lock_path = runtime + "/" + kTerminalLockName;
  const int lock = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (lock < 0) {
    std::fprintf(stderr, "QvodTerminal: cannot open %s: %s\n", lock_path.c_str(), std::strerror(errno));
    return 1;
  }
  if (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
    std::fprintf(stderr, "QvodTerminal: already running for this user\n");
    return 3;
  }

  const std::string token = random_token();
  if (token.empty()) return 1;
  Terminal terminal(own_folder());
  httplib::Server http;
  http.new_task_queue = [] { return new httplib::ThreadPool(16); };
  http.set_keep_alive_timeout(5);
  terminal.add_routes(http, token);
  const int port = http.bind_to_any_port("127.0.0.1");
  if (port <= 0) {
    std::fprintf(stderr, "QvodTerminal: cannot listen on 127.0.0.1\n");
    return 1;
  }
  std::thread server([&http] { http.listen_after_bind(); });
  while (!http.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  terminal.resume_jobs();
  TerminalEndpoint endpoint{port, token, static_cast<long>(::getpid())};
  int status = 0;
  if (!write_terminal_endpoint(runtime, endpoint)) {
    std::fprintf(stderr, "QvodTerminal: cannot write the endpoint file\n");
    status = 1;
  }

  int ticks = 0;
  while (status == 0) {
    const timespec wait{0, 200 * 1000 * 1000};
    const int signal = ::sigtimedwait(&ending, nullptr, &wait);
    if (signal > 0) break;
    terminal.tidy();
    if (++ticks % 5 == 0 && !still_locked(lock, lock_path)) break;
  }

  terminal.stop_streams();
  http.stop();
  server.join();
  if (const auto now = read_terminal_endpoint(runtime); now && now->pid == endpoint.pid)
    ::unlink((runtime + "/" + kTerminalEndpointName).c_str());
  ::close(lock);
  return status;
}
