#include "platform/posix/private_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace tav {

namespace {

std::string absolute_env(const char* name) {
  const char* value = std::getenv(name);
  return value && value[0] == '/' ? std::string(value) : std::string();
}

std::string home_folder() {
  std::string home = absolute_env("HOME");
  if (home.empty())
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/') home = pw->pw_dir;
  return home;
}

// Makes the folders of path that are missing, the new ones private.
bool make_path(const std::string& path) {
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i != path.size() && path[i] != '/') continue;
    if (::mkdir(path.substr(0, i).c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

}  // namespace

bool is_private_folder(const std::string& folder) {
  struct stat st {};
  return !folder.empty() && ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

std::string private_runtime_folder() {
  if (const std::string runtime = absolute_env("XDG_RUNTIME_DIR"); is_private_folder(runtime))
    return runtime;
  std::string cache = absolute_env("XDG_CACHE_HOME");
  if (cache.empty()) {
    const std::string home = home_folder();
    if (home.empty()) return {};
    cache = home + "/.cache";
  }
  const std::string folder = cache + "/tavori-run";
  if (!make_path(folder)) return {};
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return {};
  if ((st.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) return {};
  return is_private_folder(folder) ? folder : std::string();
}

}  // namespace tav
