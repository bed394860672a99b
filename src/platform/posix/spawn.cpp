#include "platform/posix/spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace tav {

namespace {

// In the child: what went wrong before the program ran, on the report pipe.
[[noreturn]] void fail(int report, int error) {
  (void)!::write(report, &error, sizeof error);
  ::_exit(127);
}

void close_descriptors_but(int keep) {
  if (keep > 3) ::syscall(SYS_close_range, 3u, static_cast<unsigned>(keep - 1), 0u);
  ::syscall(SYS_close_range, static_cast<unsigned>(keep < 3 ? 3 : keep + 1), ~0u, 0u);
}

}  // namespace

bool spawn_detached(const std::vector<std::string>& argv, DetachedStart how) {
  if (argv.empty() || argv[0].empty()) return false;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // Closed by the program's exec: an error number on it says it did not run.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return false;
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(report[0]);
    ::close(report[1]);
    return false;
  }
  if (child == 0) {
    // Only async-signal-safe calls from here on: the caller may have threads.
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild < 0) fail(report[1], errno);
    if (grandchild > 0) ::_exit(0);
    // Kept clear of the standard descriptors about to be replaced.
    int reply = report[1];
    if (reply <= 2) reply = ::fcntl(reply, F_DUPFD_CLOEXEC, 3);
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      ::dup2(null, 0);
      ::dup2(null, 1);
      if (how.quiet_errors) ::dup2(null, 2);
    }
    if (how.close_descriptors) close_descriptors_but(reply);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execv(args[0], args.data());
    fail(reply, errno);
  }
  ::close(report[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t n;
  do {
    n = ::read(report[0], &error, sizeof error);
  } while (n < 0 && errno == EINTR);
  ::close(report[0]);
  return n == 0;  // the pipe closed on exec: the program runs
}

}  // namespace tav
