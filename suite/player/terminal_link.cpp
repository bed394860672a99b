#include "suite/player/terminal_link.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace tav::suite {

std::string terminal_runtime_folder() {
  std::string base;
  if (const char* r = std::getenv("XDG_RUNTIME_DIR"); r && r[0] == '/') base = r;
  std::string folder = base.empty() ? "/tmp/tavori-suite-" + std::to_string(::getuid())
                                    : base + "/tavori-suite";
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
  struct stat st {};
  // Not a link, a folder, the user's own and closed to others.
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
    return {};
  if ((st.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) return {};
  return folder;
}

std::optional<TerminalEndpoint> read_terminal_endpoint(const std::string& runtime_folder) {
  const std::string path = runtime_folder + "/" + kTerminalEndpointName;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return std::nullopt;
  char text[200];
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (n <= 0) return std::nullopt;
  text[n] = '\0';
  TerminalEndpoint e;
  char token[100];
  if (std::sscanf(text, "%d %99s %ld", &e.port, token, &e.pid) != 3) return std::nullopt;
  e.token = token;
  if (e.port <= 0 || e.port > 65535 || e.pid <= 0 || e.token.empty()) return std::nullopt;
  for (char c : e.token)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
      return std::nullopt;
  return e;
}

bool write_terminal_endpoint(const std::string& runtime_folder, const TerminalEndpoint& e) {
  const std::string path = runtime_folder + "/" + kTerminalEndpointName;
  const std::string temp = path + ".new";
  ::unlink(temp.c_str());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const std::string text =
      std::to_string(e.port) + " " + e.token + " " + std::to_string(e.pid) + "\n";
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

std::string format_film_status(const FilmStatus& s) {
  static const char* const kNames[] = {"none", "running", "complete", "failed"};
  std::string error = s.error;
  for (char& c : error)
    if (c == '\n' || c == '\r') c = ' ';
  return std::string(kNames[static_cast<int>(s.state)]) + " " + std::to_string(s.have) + " " +
         std::to_string(s.size) + " " + std::to_string(s.speed_kb) + "\n" + error + "\n";
}

std::optional<FilmStatus> parse_film_status(const std::string& text) {
  std::istringstream in(text);
  std::string state;
  FilmStatus s;
  long long have = 0, size = 0;
  int speed = 0;
  if (!(in >> state >> have >> size >> speed)) return std::nullopt;
  if (state == "none") s.state = FilmState::None;
  else if (state == "running") s.state = FilmState::Running;
  else if (state == "complete") s.state = FilmState::Complete;
  else if (state == "failed") s.state = FilmState::Failed;
  else return std::nullopt;
  s.have = have;
  s.size = size;
  s.speed_kb = speed;
  std::string rest;
  std::getline(in, rest);
  std::getline(in, s.error);
  return s;
}

}  // namespace tav::suite
