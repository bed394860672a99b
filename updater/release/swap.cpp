#include "release/swap.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "release/manifest.h"

namespace tav::update {

namespace fs = std::filesystem;

namespace {

bool present(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

std::string parent_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

void sync_folder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::string make_parent(const std::string& path) {
  std::error_code ec;
  fs::create_directories(parent_of(path), ec);
  return ec ? "cannot make " + parent_of(path) + ": " + ec.message() : std::string();
}

std::string move(const std::string& from, const std::string& to) {
  if (std::string e = make_parent(to); !e.empty()) return e;
  if (::rename(from.c_str(), to.c_str()) != 0)
    return "cannot rename " + from + " to " + to + ": " + std::strerror(errno);
  return {};
}

// A journal names files of a release, and the installed manifest.
bool journal_path_ok(const std::string& p) { return p == kInstalledManifest || is_release_path(p); }

std::string journal_file(const std::string& app) { return work_path(app, "journal"); }

void sync_parents(const std::string& app, const Plan& plan) {
  std::set<std::string> folders{app};
  for (const auto& [p, had_old] : plan.put) folders.insert(parent_of(app + "/" + p));
  for (const std::string& p : plan.drop) folders.insert(parent_of(app + "/" + p));
  for (const std::string& f : folders) sync_folder(f);
  sync_folder(work_path(app, "backup"));
}

}  // namespace

std::string work_path(const std::string& app_folder, const std::string& name) {
  std::string out = app_folder + "/" + kWorkFolder;
  if (!name.empty()) out += "/" + name;
  return out;
}

FolderLock::~FolderLock() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the flock
}

bool FolderLock::try_lock() {
  if (fd_ >= 0) return true;
  const std::string work = work_path(app_);
  if (::mkdir(work.c_str(), 0700) != 0 && errno != EEXIST) {
    errno_ = errno;
    error_ = "cannot make " + work + ": " + std::strerror(errno);
    return false;
  }
  const std::string path = work_path(app_, "lock");
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    errno_ = errno;
    error_ = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

std::string write_journal(const std::string& app, const Plan& plan) {
  std::string text = "tavori-update-journal 1\nstate " + plan.state + "\nfrom " + plan.from_version + "\nto " +
                     plan.to_version + "\n";
  for (const auto& [p, had_old] : plan.put) text += std::string("put ") + (had_old ? "1 " : "0 ") + p + "\n";
  for (const std::string& p : plan.drop) text += "drop " + p + "\n";
  text += "end\n";
  const std::string path = journal_file(app);
  const std::string temp = path + ".new";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return "cannot write " + temp + ": " + std::strerror(errno);
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int e = errno;
      ::close(fd);
      ::unlink(temp.c_str());
      return "cannot write " + temp + ": " + std::strerror(e);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    ::unlink(temp.c_str());
    return "cannot write " + temp + ": " + std::strerror(errno);
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int e = errno;
    ::unlink(temp.c_str());
    return "cannot write " + path + ": " + std::strerror(e);
  }
  sync_folder(work_path(app));
  return {};
}

bool read_journal(const std::string& app, Plan& plan, std::string* error) {
  std::ifstream in(journal_file(app), std::ios::binary);
  if (!in) {
    if (error) error->clear();
    return false;
  }
  plan = Plan{};
  std::string line;
  int n = 0;
  bool ended = false;
  auto bad = [&](const std::string& why) {
    if (error) *error = "the update journal is damaged: " + why;
    return false;
  };
  while (std::getline(in, line)) {
    ++n;
    if (ended) return bad("text after its end");
    if (n == 1) {
      if (line != "tavori-update-journal 1") return bad("first line");
    } else if (line.rfind("state ", 0) == 0) {
      plan.state = line.substr(6);
      if (plan.state != "swapping" && plan.state != "trial" && plan.state != "commit") return bad("state");
    } else if (line.rfind("from ", 0) == 0) {
      plan.from_version = line.substr(5);
    } else if (line.rfind("to ", 0) == 0) {
      plan.to_version = line.substr(3);
    } else if (line.rfind("put ", 0) == 0 && line.size() > 6 && (line[4] == '0' || line[4] == '1') && line[5] == ' ') {
      const std::string p = line.substr(6);
      if (!journal_path_ok(p)) return bad("path " + p);
      plan.put.emplace_back(p, line[4] == '1');
    } else if (line.rfind("drop ", 0) == 0) {
      const std::string p = line.substr(5);
      if (!journal_path_ok(p)) return bad("path " + p);
      plan.drop.push_back(p);
    } else if (line == "end") {
      ended = true;
    } else {
      return bad("line " + std::to_string(n));
    }
  }
  if (!ended) return bad("no end");
  return true;
}

std::string swap_files(const std::string& app, const Plan& plan, const std::function<void()>& after_step) {
  const std::string staged = work_path(app, "staged"), backup = work_path(app, "backup");
  std::string error;
  for (const auto& [p, had_old] : plan.put) {
    const std::string here = app + "/" + p;
    if (had_old) {
      // The old file gets a second name in backup/ and keeps its own until
      // the new one is renamed over it: the program's folder never lacks
      // a file, not even for a moment.
      if (error = make_parent(backup + "/" + p); !error.empty()) break;
      if (::link(here.c_str(), (backup + "/" + p).c_str()) != 0) {
        error = "cannot keep " + here + ": " + std::strerror(errno);
        break;
      }
      if (after_step) after_step();
    }
    error = move(staged + "/" + p, here);
    if (!error.empty()) break;
    if (after_step) after_step();
  }
  if (error.empty())
    for (const std::string& p : plan.drop) {
      if (!present(app + "/" + p)) continue;
      error = move(app + "/" + p, backup + "/" + p);
      if (!error.empty()) break;
      if (after_step) after_step();
    }
  if (!error.empty()) {
    const std::string undo = roll_back(app, plan);
    return undo.empty() ? error : error + "; " + undo;
  }
  sync_parents(app, plan);
  return {};
}

std::string roll_back(const std::string& app, const Plan& plan, const std::function<void()>& after_step) {
  const std::string staged = work_path(app, "staged"), backup = work_path(app, "backup");
  // The journal must say "swapping" while files go back: a kill now is
  // rolled back again by the next recovery.
  if (plan.state != "swapping") {
    Plan back = plan;
    back.state = "swapping";
    if (std::string e = write_journal(app, back); !e.empty()) return e;
  }
  for (auto it = plan.put.rbegin(); it != plan.put.rend(); ++it) {
    const std::string& p = it->first;
    const std::string here = app + "/" + p;
    if (it->second) {
      // The old file in backup/ goes back over whatever is there (the new
      // file, or the old one itself under its second name: then rename
      // does nothing and the second name goes with backup/).
      if (present(backup + "/" + p)) {
        if (::rename((backup + "/" + p).c_str(), here.c_str()) != 0)
          return "cannot put back " + here + ": " + std::strerror(errno);
        if (after_step) after_step();
      }
    } else if (!present(staged + "/" + p) && present(here)) {
      if (::unlink(here.c_str()) != 0) return "cannot remove " + here + ": " + std::strerror(errno);
      if (after_step) after_step();
    }
  }
  for (const std::string& p : plan.drop)
    if (present(backup + "/" + p)) {
      if (std::string e = move(backup + "/" + p, app + "/" + p); !e.empty()) return e;
      if (after_step) after_step();
    }
  sync_parents(app, plan);
  if (::unlink(journal_file(app).c_str()) != 0 && errno != ENOENT)
    return "cannot remove the journal: " + std::string(std::strerror(errno));
  sync_folder(work_path(app));
  clean_work_folder(app);
  return {};
}

std::string commit(const std::string& app, Plan plan) {
  if (plan.state != "commit") {
    plan.state = "commit";
    if (std::string e = write_journal(app, plan); !e.empty()) return e;
  }
  std::error_code ec;
  fs::remove_all(work_path(app, "backup"), ec);
  if (ec) return "cannot remove " + work_path(app, "backup") + ": " + ec.message();
  fs::remove_all(work_path(app, "staged"), ec);
  if (::unlink(journal_file(app).c_str()) != 0 && errno != ENOENT)
    return "cannot remove the journal: " + std::string(std::strerror(errno));
  sync_folder(work_path(app));
  clean_work_folder(app);
  return {};
}

void clean_work_folder(const std::string& app) {
  std::error_code ec;
  for (fs::directory_iterator it(work_path(app), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name == "lock" || name == "journal") continue;
    std::error_code ignored;
    fs::remove_all(it->path(), ignored);
  }
}

const char* recovery_name(Recovery r) {
  switch (r) {
    case Recovery::nothing: return "nothing";
    case Recovery::rolled_back: return "rolled back";
    case Recovery::committed: return "committed";
    case Recovery::busy: return "busy";
    case Recovery::failed: return "failed";
  }
  return "?";
}

Recovery recover_locked(const std::string& app, std::string* why) {
  Plan plan;
  std::string error;
  if (!read_journal(app, plan, &error)) {
    if (!error.empty()) {
      if (why) *why = error;
      return Recovery::failed;
    }
    clean_work_folder(app);
    return Recovery::nothing;
  }
  if (plan.state == "swapping") {
    error = roll_back(app, plan);
    if (!error.empty()) {
      if (why) *why = error;
      return Recovery::failed;
    }
    return Recovery::rolled_back;
  }
  error = commit(app, plan);
  if (!error.empty()) {
    if (why) *why = error;
    return Recovery::failed;
  }
  return Recovery::committed;
}

Recovery recover(const std::string& app, std::string* why, int wait_ms) {
  struct stat st {};
  if (::stat(work_path(app).c_str(), &st) != 0) return Recovery::nothing;  // the common case: one stat
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  for (;;) {
    FolderLock lock(app);
    if (lock.try_lock()) return recover_locked(app, why);
    Plan plan;
    const bool journal = read_journal(app, plan);
    if (!lock.error().empty()) {
      // A folder this user cannot write: nothing can be done here.
      if (why) *why = lock.error();
      return journal ? Recovery::failed : Recovery::nothing;
    }
    // An updater is at work. While it swaps files (a moment), wait; while
    // it downloads or tries the new program, leave it be.
    if (!journal || plan.state == "trial") return Recovery::busy;
    if (std::chrono::steady_clock::now() >= until) return Recovery::busy;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

void recover_at_start(char** argv) {
  // The program's path, read before the files under it may change.
  std::error_code ec;
  const std::string exe = fs::read_symlink("/proc/self/exe", ec).string();
  if (ec || exe.empty()) return;
  const std::string folder = fs::path(exe).parent_path().string();
  std::string why;
  const Recovery r = recover(folder, &why);
  if (r == Recovery::failed) std::fprintf(stderr, "tavori: update recovery: %s\n", why.c_str());
  if (r == Recovery::rolled_back || r == Recovery::committed)
    std::fprintf(stderr, "tavori: an interrupted update was %s\n", recovery_name(r));
  // The files under this process changed: run the program that is there now.
  if (r == Recovery::rolled_back && argv) ::execv(exe.c_str(), argv);
}

std::string own_program_folder() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.parent_path().string();
}

std::vector<int> processes_running(const std::string& path) {
  std::vector<int> out;
  struct stat target {};
  if (::stat(path.c_str(), &target) != 0) return out;
  DIR* proc = ::opendir("/proc");
  if (!proc) return out;
  const int self = ::getpid();
  while (const dirent* e = ::readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(e->d_name, &end, 10);
    if (pid <= 0 || *end != '\0' || pid == self) continue;
    struct stat st {};
    const std::string exe = std::string("/proc/") + e->d_name + "/exe";
    if (::stat(exe.c_str(), &st) != 0) continue;
    if (st.st_dev == target.st_dev && st.st_ino == target.st_ino) {
      // A zombie has no executable any more; stat above failed for it.
      out.push_back(static_cast<int>(pid));
    }
  }
  ::closedir(proc);
  return out;
}

}  // namespace tav::update
