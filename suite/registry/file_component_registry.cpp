#include "suite/registry/file_component_registry.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "base/text.h"
#include "suite/player/embedded_player.h"

namespace tav::suite {

namespace {

bool valid_class_id(std::string_view id) {
  if (id.size() <= 6 || !tav::iequals_ascii(id.substr(0, 6), "clsid:")) return false;
  for (char c : id)
    if (c == '=' || c == '\n' || c == '\r' || c == '\0' || c == ' ' || c == '\t') return false;
  return true;
}

bool valid_library_path(std::string_view path) {
  if (path.empty() || path.front() != '/') return false;
  for (char c : path)
    if (c == '\n' || c == '\r' || c == '\0') return false;
  return true;
}

std::vector<std::string> read_lines(const std::string& file) {
  std::vector<std::string> lines;
  std::ifstream in(file, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The class id of a record line, "" for any other line.
std::string_view key_of(std::string_view line) {
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return {};
  std::string_view key = line.substr(0, eq);
  while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.remove_suffix(1);
  return valid_class_id(key) ? key : std::string_view{};
}

std::string value_of(std::string_view line) {
  std::string_view value = line.substr(line.find('=') + 1);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  return std::string(value);
}

bool make_folders(const std::string& folder) {
  for (std::size_t i = 1; i <= folder.size(); ++i) {
    if (i != folder.size() && folder[i] != '/') continue;
    const std::string part = folder.substr(0, i);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool write_all(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

FileComponentRegistry::FileComponentRegistry() : file_(default_file()) {}

FileComponentRegistry::FileComponentRegistry(std::string file) : file_(std::move(file)) {}

std::string FileComponentRegistry::default_file() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    std::string h = home && home[0] == '/' ? home : "";
    if (h.empty()) {
      if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) h = pw->pw_dir;
    }
    base = h + "/.config";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/tavori-suite/registry.ini";
}

std::string FileComponentRegistry::library_of(std::string_view class_id) const {
  if (!valid_class_id(class_id)) return {};
  std::string found;
  for (const std::string& line : read_lines(file_)) {
    if (tav::iequals_ascii(key_of(line), class_id)) found = value_of(line);  // the last record wins
  }
  return found;
}

std::string FileComponentRegistry::problem(std::string_view class_id) const {
  const std::string library = library_of(class_id);
  if (library.empty()) return std::string(class_id) + " is not registered in " + file_;
  struct stat st {};
  if (::stat(library.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return "the library " + library + " of " + std::string(class_id) + " is missing";
  void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = ::dlerror();
    return "the library " + library + " does not load: " + (why ? why : "unknown error");
  }
  if (!::dlsym(handle, kCreatePlayerSymbol)) {
    ::dlclose(handle);
    return "the library " + library + " has no " + kCreatePlayerSymbol;
  }
  return {};
}

bool FileComponentRegistry::can_create(std::string_view class_id) const {
  return problem(class_id).empty();
}

bool FileComponentRegistry::register_class(std::string_view class_id,
                                           std::string_view library_path) {
  if (!valid_class_id(class_id) || !valid_library_path(library_path)) return false;
  const std::string path(library_path);
  return rewrite(class_id, &path);
}

bool FileComponentRegistry::unregister_class(std::string_view class_id) {
  if (!valid_class_id(class_id)) return false;
  if (library_of(class_id).empty()) return true;
  return rewrite(class_id, nullptr);
}

// Replaces every record of the class by one record (or none), under a lock
// so that two registrations at once do not lose one, and through a
// temporary file so that a reader never sees half a file.
bool FileComponentRegistry::rewrite(std::string_view class_id, const std::string* library_path) {
  const std::size_t slash = file_.rfind('/');
  const std::string folder = slash == std::string::npos || slash == 0 ? "/" : file_.substr(0, slash);
  if (!make_folders(folder)) return false;

  const std::string lock_path = file_ + ".lock";
  const int lock = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lock < 0) return false;
  while (::flock(lock, LOCK_EX) != 0 && errno == EINTR) {
  }

  std::string text;
  bool written = false;
  for (const std::string& line : read_lines(file_)) {
    if (tav::iequals_ascii(key_of(line), class_id)) {
      if (library_path && !written) text += std::string(class_id) + "=" + *library_path + "\n";
      written = true;
      continue;
    }
    text += line + "\n";
  }
  if (library_path && !written) text += std::string(class_id) + "=" + *library_path + "\n";

  std::string temp = file_ + ".XXXXXX";
  bool ok = false;
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd >= 0) {
    ok = ::fchmod(fd, 0600) == 0 && write_all(fd, text) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.c_str(), file_.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
  }
  ::close(lock);  // releases the lock
  return ok;
}

}  // namespace tav::suite
