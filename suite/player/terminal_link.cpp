#include "suite/player/terminal_link.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "base/sha1.h"

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
  return parse_terminal_endpoint(std::string_view(text, static_cast<std::size_t>(n)));
}

std::optional<TerminalEndpoint> parse_terminal_endpoint(std::string_view text) {
  char copy[200];
  const std::size_t n = std::min(text.size(), sizeof copy - 1);
  text.copy(copy, n);
  copy[n] = '\0';
  TerminalEndpoint e;
  char token[100];
  if (std::sscanf(copy, "%d %99s %ld", &e.port, token, &e.pid) != 3) return std::nullopt;
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

std::string job_file_text(const JobRecord& job) {
  return job.address + "\n" + (job.paused ? "paused\n" : "");
}

std::optional<JobRecord> parse_job_file(std::string_view text) {
  const std::size_t end = text.find('\n');
  std::string_view first = text.substr(0, end);
  if (!first.empty() && first.back() == '\r') first.remove_suffix(1);
  if (!parse_qvod(first)) return std::nullopt;
  JobRecord job;
  job.address = std::string(first);
  if (end != std::string_view::npos) {
    std::string_view second = text.substr(end + 1);
    second = second.substr(0, second.find('\n'));
    if (!second.empty() && second.back() == '\r') second.remove_suffix(1);
    job.paused = second == "paused";
  }
  return job;
}

std::optional<JobRecord> read_job_file(const std::string& path) {
  // Not a link, and never waiting on a FIFO of that name.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  char text[4096];
  ssize_t n = -1;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) n = ::read(fd, text, sizeof text);
  ::close(fd);
  if (n <= 0) return std::nullopt;
  return parse_job_file(std::string_view(text, static_cast<std::size_t>(n)));
}

bool job_names_film(const std::string& target, const QvodAddress& q) {
  const auto job = read_job_file(job_file_of(target));
  if (!job) return false;
  const auto named = parse_qvod(job->address);
  return named && same_film(*named, q);
}

std::string sha1_file(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return {};
  Sha1 sha;
  std::vector<char> buffer(1 << 20);
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return {};
    }
    if (n == 0) break;
    sha.add(buffer.data(), static_cast<std::size_t>(n));
  }
  ::close(fd);
  return sha.hex();
}

namespace {

bool parse_hex(std::string_view text, std::uint32_t& out) {
  if (text.empty() || text.size() > 8) return false;
  out = 0;
  for (char c : text) {
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    if (v < 0) return false;
    out = out * 16 + static_cast<std::uint32_t>(v);
  }
  return true;
}

// The address words of a connection to 127.0.0.1 as the kernel prints
// them: each 32-bit word of the address as it lies in memory, in hex.
bool reaches_loopback(std::string_view address, bool v6) {
  std::uint32_t words[4] = {};
  const std::size_t count = v6 ? 4 : 1;
  if (address.size() != count * 8) return false;
  for (std::size_t i = 0; i < count; ++i)
    if (!parse_hex(address.substr(i * 8, 8), words[i])) return false;
  const std::uint32_t loopback = htonl(INADDR_LOOPBACK);
  if (!v6) return words[0] == 0 || words[0] == loopback;
  if (words[0] != 0 || words[1] != 0) return false;
  // :: (every address, both families) or ::ffff:127.0.0.1.
  return (words[2] == 0 && words[3] == 0) || (words[2] == htonl(0xFFFF) && words[3] == loopback);
}

std::string read_proc_file(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || text.size() > (64u << 20)) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return text;
}

}  // namespace

std::vector<unsigned> loopback_listeners(std::string_view table, int port, bool v6) {
  constexpr std::uint32_t kListen = 0x0A;
  std::vector<unsigned> uids;
  while (!table.empty()) {
    const std::size_t end = table.find('\n');
    std::string_view line = table.substr(0, end);
    table = end == std::string_view::npos ? std::string_view{} : table.substr(end + 1);
    // sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid ...
    std::string_view fields[8];
    std::size_t count = 0;
    while (count < 8) {
      const std::size_t start = line.find_first_not_of(" \t");
      if (start == std::string_view::npos) break;
      line.remove_prefix(start);
      const std::size_t stop = std::min(line.find_first_of(" \t"), line.size());
      fields[count++] = line.substr(0, stop);
      line.remove_prefix(stop);
    }
    if (count < 8) continue;
    const std::string_view local = fields[1];
    const std::size_t colon = local.find(':');
    std::uint32_t local_port = 0, state = 0, uid = 0;
    if (colon == std::string_view::npos || !parse_hex(local.substr(colon + 1), local_port) ||
        !parse_hex(fields[3], state))
      continue;
    if (state != kListen || local_port != static_cast<std::uint32_t>(port)) continue;
    if (!reaches_loopback(local.substr(0, colon), v6)) continue;
    const std::string_view uid_text = fields[7];
    if (uid_text.empty() || uid_text.size() > 10 ||
        uid_text.find_first_not_of("0123456789") != std::string_view::npos)
      continue;
    std::uint64_t value = 0;
    for (char c : uid_text) value = value * 10 + static_cast<std::uint64_t>(c - '0');
    uid = static_cast<std::uint32_t>(std::min<std::uint64_t>(value, 0xFFFFFFFFu));
    uids.push_back(uid);
  }
  return uids;
}

bool loopback_port_owned_by(int port, unsigned uid) {
  const std::string v4 = read_proc_file("/proc/net/tcp");
  if (v4.empty()) return false;  // nothing to tell: trust nobody
  std::vector<unsigned> uids = loopback_listeners(v4, port, false);
  const std::vector<unsigned> more = loopback_listeners(read_proc_file("/proc/net/tcp6"), port, true);
  uids.insert(uids.end(), more.begin(), more.end());
  if (uids.empty()) return false;
  for (unsigned u : uids)
    if (u != uid) return false;
  return true;
}

}  // namespace tav::suite
