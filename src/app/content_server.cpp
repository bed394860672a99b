#include "app/content_server.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/posix/private_folder.h"
#include "suite/player/terminal_link.h"

namespace tav::app {

namespace {

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The first line of a small file; nothing when it cannot be read.
std::optional<std::string> first_line(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  char buffer[4096];
  const ssize_t n = ::read(fd, buffer, sizeof buffer);
  ::close(fd);
  if (n < 0) return std::nullopt;
  std::string text(buffer, static_cast<std::size_t>(n));
  text = text.substr(0, text.find_first_of("\r\n"));
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.erase(text.begin());
  return text;
}

struct Loopback {
  std::string scheme_host;  // "http://127.0.0.1"
  int port = 0;
  std::string path;  // "/box/"
};

std::optional<Loopback> loopback_of(const std::string& base) {
  constexpr std::string_view kPrefix = "http://127.0.0.1:";
  if (base.rfind(kPrefix, 0) != 0) return std::nullopt;
  std::size_t i = kPrefix.size();
  int port = 0;
  while (i < base.size() && base[i] >= '0' && base[i] <= '9' && port < 65536) port = port * 10 + (base[i++] - '0');
  if (port <= 0 || port > 65535 || i >= base.size() || base[i] != '/') return std::nullopt;
  return Loopback{"http://127.0.0.1", port, base.substr(i)};
}

bool anyone_listens(int port) {
  for (const bool v6 : {false, true}) {
    const std::string table = [&] {
      const int fd = ::open(v6 ? "/proc/net/tcp6" : "/proc/net/tcp", O_RDONLY | O_CLOEXEC);
      std::string text;
      if (fd < 0) return text;
      char buffer[65536];
      for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
      ::close(fd);
      return text;
    }();
    if (!suite::loopback_listeners(table, port, v6).empty()) return true;
  }
  return false;
}

}  // namespace

ServerSources default_server_sources(std::optional<std::string> option, std::string built_in) {
  std::string config = env("XDG_CONFIG_HOME");
  if (config.empty() || config[0] != '/') {
    const std::string home = env("HOME");
    config = home.empty() || home[0] != '/' ? std::string() : home + "/.config";
  }
  return {std::move(option), config.empty() ? std::string() : config + "/tavori/server",
          "/etc/tavori/server", std::move(built_in)};
}

std::optional<std::string> server_base_of(const std::string& value) {
  std::size_t host = 0;
  if (value.rfind("http://", 0) == 0) host = 7;
  else if (value.rfind("https://", 0) == 0) host = 8;
  else return std::nullopt;
  if (value.size() <= host || value[host] == '/' || value.size() > 2000) return std::nullopt;
  for (const char c : value) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '#') return std::nullopt;
  }
  std::string base = value;
  if (base.find('/', host) == std::string::npos || base.back() != '/') base += '/';
  return base;
}

ServerChoice choose_server(const ServerSources& sources) {
  const auto take = [](const std::string& value, const std::string& where) {
    ServerChoice choice;
    if (const auto base = server_base_of(value)) {
      choice.base = *base;
    } else {
      choice.base = kNoServer;
      choice.warning = where + " names no server address (http://…/): \"" + value.substr(0, 200) + "\"";
    }
    return choice;
  };
  if (sources.option) return take(*sources.option, "--server-base");
  for (const std::string* file : {&sources.user_file, &sources.system_file}) {
    if (file->empty()) continue;
    if (const auto value = first_line(*file); value && !value->empty()) return take(*value, *file);
  }
  ServerChoice choice;
  choice.base = sources.built_in;
  choice.built_in = true;
  return choice;
}

DemoServer::~DemoServer() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

std::string DemoServer::start_if_needed(const std::string& program, const std::string& base,
                                        const std::string& log_folder) {
  const auto at = loopback_of(base);
  if (!at || pid_ > 0) return base;
  // The user's own server answers there already: it is left as it is.
  if (suite::loopback_port_owned_by(at->port, ::getuid())) return base;
  if (::access(program.c_str(), X_OK) != 0) return base;
  const std::string folder = private_runtime_folder();
  if (folder.empty()) return base;
  // Another user's program on that port, or one that took it a moment
  // before ours could: a free port of our own.
  for (const int port : {anyone_listens(at->port) ? 0 : at->port, 0}) {
    if (const int listening = start(program, port, folder, log_folder); listening > 0)
      return at->scheme_host + ":" + std::to_string(listening) + at->path;
    if (pid_ > 0 || port == 0) break;  // running but silent, or no free port helped
  }
  return base;
}

int DemoServer::start(const std::string& program, int port, const std::string& runtime_folder,
                      const std::string& log_folder) {
  const std::string port_file = runtime_folder + "/tavori-server-" + std::to_string(::getpid()) + ".port";
  ::unlink(port_file.c_str());
  const std::string port_text = std::to_string(port);
  const std::string log = log_folder + "/tavori-pings.log";
  const std::string output = log_folder + "/tavori-server.log";
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) return 0;
  if (pid == 0) {
    // Ends with the program, however the program ends.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(0);
    ::setpgid(0, 0);
    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (in >= 0) ::dup2(in, 0);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
    std::vector<const char*> argv = {program.c_str(), "--host", "127.0.0.1", "--port", port_text.c_str(),
                                     "--port-file", port_file.c_str(), "--log", log.c_str(), nullptr};
    ::execv(program.c_str(), const_cast<char* const*>(argv.data()));
    ::_exit(127);
  }
  pid_ = pid;
  // It listens within moments; the library's own load waits no longer.
  for (int i = 0; i < 150; ++i) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return 0;
    }
    if (const auto text = first_line(port_file); text && !text->empty()) {
      ::unlink(port_file.c_str());
      return std::atoi(text->c_str());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return 0;
}

}  // namespace tav::app
