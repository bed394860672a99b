#include "platform/posix/posix_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "base/command_line.h"
#include "base/text.h"
#include "platform/posix/spawn.h"

namespace tav {

LocalTime PosixClock::now() const {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

long long PosixClock::monotonic_ms() const {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void PosixRandom::seed_from_clock() {
  engine_.seed(static_cast<std::uint64_t>(
      std::chrono::system_clock::now().time_since_epoch().count()));
}

double PosixRandom::next() { return std::uniform_real_distribution<double>(0.0, 1.0)(engine_); }

namespace {

std::string read_link(const std::string& path) {
  char buffer[4096];
  const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  std::string target(buffer, static_cast<std::size_t>(n));
  if (ends_with(target, " (deleted)")) target.resize(target.size() - 10);
  return target;
}

std::string read_small(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  char buffer[4096];
  const ssize_t n = ::read(fd, buffer, sizeof buffer);
  ::close(fd);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

std::string base_name(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool process_exists(pid_t pid) {
  // A process that has ended but not been reaped yet is a zombie: gone.
  const std::string stat = read_small("/proc/" + std::to_string(pid) + "/stat");
  if (stat.empty()) return false;
  const std::size_t close = stat.rfind(')');
  return close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] != 'Z';
}

// Whether the process runs under this user's id.
bool own_process(pid_t pid) {
  struct stat st {};
  return ::stat(("/proc/" + std::to_string(pid)).c_str(), &st) == 0 && st.st_uid == ::getuid();
}

}  // namespace

std::vector<ProcessEntry> ProcProcesses::list() const {
  std::vector<ProcessEntry> out;
  DIR* dir = ::opendir("/proc");
  if (!dir) return out;
  while (const dirent* e = ::readdir(dir)) {
    const auto pid = parse_int32(e->d_name);
    if (!pid || *pid <= 0 || !own_process(*pid) || !process_exists(*pid)) continue;  // zombies have ended
    const std::string base = "/proc/" + std::string(e->d_name);
    ProcessEntry entry;
    entry.id = static_cast<std::uint32_t>(*pid);
    entry.executable_path = read_link(base + "/exe");
    if (!entry.executable_path.empty()) {
      entry.image_name = base_name(entry.executable_path);
    } else {
      // A process the user may not look into: the first word of its
      // command line, or its short name.
      const std::string cmdline = read_small(base + "/cmdline");
      std::string first = cmdline.substr(0, cmdline.find('\0'));
      if (first.empty()) {
        first = read_small(base + "/comm");
        if (!first.empty() && first.back() == '\n') first.pop_back();
      }
      entry.image_name = base_name(first);
    }
    if (!entry.image_name.empty()) out.push_back(std::move(entry));
  }
  ::closedir(dir);
  std::sort(out.begin(), out.end(),
            [](const ProcessEntry& a, const ProcessEntry& b) { return a.id < b.id; });
  return out;
}

bool ProcProcesses::terminate(std::uint32_t id) {
  const auto pid = static_cast<pid_t>(id);
  if (pid <= 0 || pid == ::getpid() || !own_process(pid) || !process_exists(pid)) return false;
  if (::kill(pid, SIGTERM) != 0) return false;
  for (int i = 0; i < 30 && process_exists(pid); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (process_exists(pid)) ::kill(pid, SIGKILL);
  return true;
}

std::string PosixShell::resolve(const std::string& program) const {
  if (program.find('/') != std::string::npos) return program;
  const std::string local = app_folder_ + "/" + program;
  if (::access(local.c_str(), X_OK) == 0) return local;
  const char* path = std::getenv("PATH");
  for (const std::string& dir : split(path ? path : "/usr/bin:/bin", ":")) {
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return program;
}

bool PosixShell::start(std::string_view command_line, WindowStyle) {
  std::vector<std::string> argv = split_command_line(command_line);
  if (argv.empty()) return false;
  argv[0] = resolve(argv[0]);
  return spawn_detached(argv);
}

bool PosixShell::open(std::string_view target, std::string_view) {
  if (target.empty()) return false;
  return spawn_detached({resolve("xdg-open"), std::string(target)});
}

}  // namespace tav
