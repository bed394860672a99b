#include "platform/posix/posix_files.h"

#include <dirent.h>
#include <fcntl.h>
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
  std::string temp = target + ".tmp-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  // mkstemp makes the file private; give it what a newly created file gets.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  const bool written = write_all(fd, content) && ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || ::rename(temp.c_str(), target.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
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
