#include "app/app_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tav::app {

namespace fs = std::filesystem;

namespace {

// The files that stay in the installed folder and are reached through links.
constexpr const char* kLinked[] = {"i.gif", "regsvr32"};
// Files of the Qvod folder that are each user's own.
constexpr const char* kUserQvodFiles[] = {"QvodPlayer.xml"};

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool is_user_file(const fs::path& name) {
  for (const char* own : kUserQvodFiles)
    if (name == own) return true;
  return false;
}

// A folder of this user's only, made when missing; one that others may
// read or enter is closed to them.
std::string make_private_folder(const fs::path& folder) {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(folder, ec))) {
    fs::create_directories(folder.parent_path(), ec);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
      return "cannot make " + folder.string() + ": " + std::strerror(errno);
  }
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0) return "cannot read " + folder.string() + ": " + std::strerror(errno);
  if (!S_ISDIR(st.st_mode)) return folder.string() + " is not a folder";
  if (st.st_uid != ::geteuid()) return folder.string() + " belongs to another user";
  if ((st.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0)
    return "cannot close " + folder.string() + " to other users: " + std::strerror(errno);
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return folder.string() + " cannot be written";
  return {};
}

// A link at `link` to `target`, replacing a link that points elsewhere; a
// file the user put there instead is left alone.
std::string link_to(const fs::path& target, const fs::path& link) {
  std::error_code ec;
  const fs::file_status st = fs::symlink_status(link, ec);
  if (fs::is_symlink(st)) {
    if (fs::read_symlink(link, ec) == target) return {};
  } else if (fs::exists(st)) {
    return {};
  }
  if (!fs::exists(target, ec)) return {};
  const fs::path temp = link.string() + ".new-" + std::to_string(::getpid());
  fs::remove(temp, ec);
  fs::create_symlink(target, temp, ec);
  if (ec) return "cannot link " + link.string() + ": " + ec.message();
  fs::rename(temp, link, ec);
  if (ec) {
    fs::remove(temp, ec);
    return "cannot link " + link.string();
  }
  return {};
}

bool same_file_content_stamp(const fs::path& a, const fs::path& b) {
  std::error_code ec1, ec2, ec3, ec4;
  const auto size_a = fs::file_size(a, ec1);
  const auto size_b = fs::file_size(b, ec2);
  const auto time_a = fs::last_write_time(a, ec3);
  const auto time_b = fs::last_write_time(b, ec4);
  return !ec1 && !ec2 && !ec3 && !ec4 && size_a == size_b && time_a == time_b;
}

// Copies from → to when `to` is missing or differs in size or time: into a
// temporary file in the same folder, renamed over the old one.
std::string copy_if_changed(const fs::path& from, const fs::path& to) {
  if (same_file_content_stamp(from, to)) return {};
  std::error_code ec;
  const fs::path temp = to.string() + ".new-" + std::to_string(::getpid());
  fs::copy_file(from, temp, fs::copy_options::overwrite_existing, ec);
  if (!ec) fs::last_write_time(temp, fs::last_write_time(from, ec), ec);
  if (!ec) fs::rename(temp, to, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    return "cannot copy " + from.string() + " to " + to.string() + ": " + ec.message();
  }
  return {};
}

}  // namespace

std::string user_data_folder() {
  std::string data = env("XDG_DATA_HOME");
  if (data.empty() || data[0] != '/') {
    std::string home = env("HOME");
    if (home.empty() || home[0] != '/') {
      if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir) home = pw->pw_dir;
    }
    if (home.empty() || home[0] != '/') return {};
    data = home + "/.local/share";
  }
  return (fs::path(data) / "tavori").lexically_normal().string();
}

bool is_installed_folder(const std::string& program_folder) {
  std::error_code ec;
  return fs::exists(fs::path(program_folder) / kInstalledMarker, ec) ||
         ::access(program_folder.c_str(), W_OK) != 0;
}

std::string prepare_user_folder(const std::string& installed_folder, const std::string& user_folder) {
  const fs::path from(installed_folder);
  const fs::path to(user_folder);
  if (std::string e = make_private_folder(to); !e.empty()) return e;
  if (std::string e = make_private_folder(to / "Qvod"); !e.empty()) return e;
  for (const char* name : kLinked)
    if (std::string e = link_to(from / name, to / name); !e.empty()) return e;

  std::error_code ec;
  const fs::path qvod = from / "Qvod";
  if (!fs::is_directory(qvod, ec)) return {};
  for (auto it = fs::recursive_directory_iterator(qvod, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const fs::path relative = it->path().lexically_relative(qvod);
    const fs::path target = to / "Qvod" / relative;
    if (it->is_directory(ec)) {
      fs::create_directories(target, ec);
      if (ec) return "cannot make " + target.string() + ": " + ec.message();
      continue;
    }
    if (!it->is_regular_file(ec) || is_user_file(relative)) continue;
    if (std::string e = copy_if_changed(it->path(), target); !e.empty()) return e;
  }
  if (ec) return "cannot read " + qvod.string() + ": " + ec.message();
  return {};
}

FolderChoice choose_app_folder(const std::string& program_folder) {
  if (!is_installed_folder(program_folder)) return {program_folder, {}};
  const std::string user = user_data_folder();
  if (user.empty()) return {{}, "no home folder"};
  std::string error = prepare_user_folder(program_folder, user);
  if (!error.empty()) return {{}, error};
  return {user, {}};
}

}  // namespace tav::app
