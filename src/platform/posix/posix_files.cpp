#include "platform/posix/posix_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace tav {

namespace {

bool stat_of(std::string_view path, struct stat& st) {
  const std::string p(path);
  return ::stat(p.c_str(), &st) == 0;
}

bool write_all(int fd, std::string_view content) {
  const char* p = content.data();
  std::size_t left = content.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

std::string folder_of(const std::string& path) {
  const std::size_t at = path.rfind('/');
  if (at == std::string::npos) return ".";
  if (at == 0) return "/";
  return path.substr(0, at);
}

std::string name_of(const std::string& path) {
  const std::size_t at = path.rfind('/');
  return at == std::string::npos ? path : path.substr(at + 1);
}

constexpr std::string_view kTempMark = ".tmp-";

// "<name>.tmp-" and the six letters or digits that mkstemp puts there.
bool is_temporary_of(std::string_view entry, std::string_view name) {
  if (entry.size() != name.size() + kTempMark.size() + 6) return false;
  if (entry.substr(0, name.size()) != name) return false;
  if (entry.substr(name.size(), kTempMark.size()) != kTempMark) return false;
  for (const char c : entry.substr(name.size() + kTempMark.size()))
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  return true;
}

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A writer holds a lock on its temporary file until it is renamed; a
// temporary file nobody holds was left by a writer that died (killed, or
// the machine went down) and goes. Nothing but our own temporaries of this
// one file is touched.
void remove_stale_temporaries(const std::string& folder, const std::string& name) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* e = ::readdir(dir)) {
    if (!is_temporary_of(e->d_name, name)) continue;
    const std::string path = folder + "/" + e->d_name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat by_fd {}, by_name {};
    if (::fstat(fd, &by_fd) == 0 && S_ISREG(by_fd.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::lstat(path.c_str(), &by_name) == 0 && same_file(by_fd, by_name)) {
      ::unlink(path.c_str());
    }
    ::close(fd);
  }
  ::closedir(dir);
}

// A new temporary file next to the target, locked for as long as it is
// open. A cleaner may remove the file between mkstemp and flock; then the
// name no longer leads to it and another one is made.
int make_locked_temporary(const std::string& target, std::string& temp) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    temp = target + std::string(kTempMark) + "XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return -1;
    struct stat by_fd {}, by_name {};
    if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &by_fd) == 0 &&
        ::lstat(temp.c_str(), &by_name) == 0 && same_file(by_fd, by_name)) {
      return fd;
    }
    ::close(fd);
  }
  return -1;
}

}  // namespace

bool PosixFiles::exists(std::string_view path) const {
  struct stat st {};
  return stat_of(path, st);
}

bool PosixFiles::is_file(std::string_view path) const {
  struct stat st {};
  return stat_of(path, st) && S_ISREG(st.st_mode);
}

bool PosixFiles::is_directory(std::string_view path) const {
  struct stat st {};
  return stat_of(path, st) && S_ISDIR(st.st_mode);
}

std::optional<std::string> PosixFiles::read(std::string_view path, std::size_t max_bytes) const {
  const std::string p(path);
  const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<unsigned long long>(st.st_size) > max_bytes) {
    ::close(fd);
    return std::nullopt;
  }
  std::string out;
  out.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  while (true) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
    if (out.size() > max_bytes) {  // grew while we read it
      ::close(fd);
      return std::nullopt;
    }
  }
  ::close(fd);
  return out;
}

bool PosixFiles::replace(std::string_view path, std::string_view content) {
  const std::string target(path);
  struct stat st {};
  if (stat_of(target, st) && S_ISDIR(st.st_mode)) return false;
  const std::string folder = folder_of(target);
  remove_stale_temporaries(folder, name_of(target));
  std::string temp;
  const int fd = make_locked_temporary(target, temp);
  if (fd < 0) return false;
  // mkstemp makes the file private, and so it stays: the settings, the
  // lists and their pages are the user's alone.
  // Renamed while still open, so that the lock holds until the temporary
  // name is gone. After fsync the content is on the disk: close has nothing
  // left to report.
  const bool written = write_all(fd, content) && ::fsync(fd) == 0;
  const bool renamed = written && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!renamed) ::unlink(temp.c_str());
  ::close(fd);
  if (!renamed) return false;
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

bool PosixFiles::remove(std::string_view path) {
  const std::string p(path);
  return ::unlink(p.c_str()) == 0;
}

std::vector<FolderEntry> PosixFiles::list(std::string_view folder) const {
  std::vector<FolderEntry> out;
  const std::string f(folder);
  DIR* dir = ::opendir(f.c_str());
  if (!dir) return out;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    FolderEntry entry;
    entry.name = name;
    entry.hidden = name.front() == '.';
    struct stat st {};
    const std::string full = f + (f.empty() || f.back() == '/' ? "" : "/") + name;
    entry.directory = ::stat(full.c_str(), &st) == 0 ? S_ISDIR(st.st_mode) : e->d_type == DT_DIR;
    out.push_back(std::move(entry));
  }
  ::closedir(dir);
  return out;
}

}  // namespace tav
