#include "updater.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "release/archive.h"
#include "release/crypto.h"
#include "release/manifest.h"
#include "release/swap.h"
#include "release_public_key.h"

extern char** environ;

namespace tav::update {

namespace fs = std::filesystem;

namespace {

constexpr const char* kProgram = "tavori";
constexpr const char* kInstalledMarker = "tavori-installed";

const std::string kUnchanged = "未作任何更改。";

std::string read_text(const std::string& path, std::size_t limit) {
  std::ifstream in(path, std::ios::binary);
  std::string out;
  char buf[4096];
  while (in && out.size() <= limit) {
    in.read(buf, sizeof buf);
    out.append(buf, static_cast<std::size_t>(in.gcount()));
  }
  return out;
}

Result fail(std::string message, std::string detail, Outcome outcome = Outcome::unchanged) {
  Result r;
  r.outcome = outcome;
  r.message = std::move(message);
  r.detail = std::move(detail);
  r.offer_old = outcome != Outcome::package_manager;
  return r;
}

std::string message_for(Failure f) {
  switch (f) {
    case Failure::disk_full: return "磁盘空间不足，" + kUnchanged;
    case Failure::not_writable: return "无法写入程序文件夹，" + kUnchanged;
    case Failure::bad_archive: return "更新包已损坏，" + kUnchanged;
    case Failure::cancelled: return "已取消升级，" + kUnchanged;
    default: return "写入更新文件时出错，" + kUnchanged;
  }
}

// One GET into a file or a string, with the time-outs that keep a dead
// server from holding the updater.
struct Download {
  std::string url;
  int timeout_ms = 20000;
  bool whole_time_limit = false;  // the manifest: a total time too
  std::uint64_t limit = 0;        // more bytes than this is an error
  int fd = -1;                    // write here, else into text
  std::string text;
  std::uint64_t received = 0;
  int write_errno = 0;
  bool too_long = false;
  Sha256* hash = nullptr;
  std::function<bool(std::uint64_t)> progress;  // false: cancel
  long status = 0;
  CURLcode code = CURLE_OK;
  std::string error;

  static size_t on_data(char* data, size_t size, size_t n, void* self_ptr) {
    auto& self = *static_cast<Download*>(self_ptr);
    const std::size_t bytes = size * n;
    if (self.limit && self.received + bytes > self.limit) {
      self.too_long = true;
      return 0;
    }
    if (self.fd >= 0) {
      std::size_t done = 0;
      while (done < bytes) {
        const ssize_t w = ::write(self.fd, data + done, bytes - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
          self.write_errno = w < 0 ? errno : EIO;
          return 0;
        }
        done += static_cast<std::size_t>(w);
      }
    } else {
      self.text.append(data, bytes);
    }
    if (self.hash) self.hash->add(data, bytes);
    self.received += bytes;
    return bytes;
  }
  static int on_progress(void* self_ptr, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto& self = *static_cast<Download*>(self_ptr);
    return self.progress && !self.progress(self.received) ? 1 : 0;
  }

  bool run() {
    CURL* curl = curl_easy_init();
    if (!curl) {
      error = "libcurl cannot start";
      return false;
    }
    char message[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::min(timeout_ms, 10000)));
    // A transfer that stalls for the time-out ends.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(std::max(1, timeout_ms / 1000)));
    if (whole_time_limit) curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout_ms));
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, message);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Download::on_data);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Download::on_progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Tavori-updater/" TAVORI_VERSION);
    code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    if (code != CURLE_OK) error = message[0] ? message : curl_easy_strerror(code);
    return code == CURLE_OK;
  }
};

// The version of the program in the folder: its installed manifest's,
// else the one this updater was built with.
std::string installed_version(const std::string& app, Manifest* installed) {
  const std::string text = read_text(app + "/" + kInstalledManifest, kMaxManifestBytes + 1);
  if (!text.empty())
    if (std::optional<Manifest> m = parse_manifest(text)) {
      if (installed) *installed = *m;
      return m->version;
    }
  return TAVORI_VERSION;
}

}  // namespace

bool Updater::start_program(const UpdaterOptions& o, int* pid_out) {
  const std::string program = o.app_folder + "/" + kProgram;
  std::vector<std::string> args = {program};
  if (o.server_base_given) args.push_back("--server-base=" + o.server_base);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // A session of its own: it outlives the updater and its terminal.
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, o.app_folder.c_str());
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return false;
  if (pid_out) *pid_out = pid;
  return true;
}

Result Updater::run() {
  const std::string& app = o_.app_folder;
  if (!crypto_ready()) return fail("无法初始化加密库，" + kUnchanged, "sodium_init failed");
  // A copy installed by the system's package manager is updated by it.
  std::error_code ec;
  struct stat st {};
  const bool writable = ::access(app.c_str(), W_OK) == 0;
  if (fs::exists(fs::path(app) / kInstalledMarker, ec) ||
      (!writable && ::stat(app.c_str(), &st) == 0 && st.st_uid != ::geteuid()))
    return fail("此程序由系统软件包管理器安装，请使用软件包管理器升级。" + kUnchanged,
                app + " is an installed copy", Outcome::package_manager);
  if (!writable)
    return fail("无法写入程序文件夹，" + kUnchanged, app + ": " + std::strerror(errno));

  FolderLock lock(app);
  if (!lock.try_lock()) {
    if (!lock.error().empty())
      return fail(message_for(failure_of_errno(lock.error_number()) == Failure::disk_full ? Failure::disk_full
                                                                                          : Failure::not_writable),
                  lock.error());
    Result r = fail("另一个升级程序正在运行。", "the folder's update lock is held");
    r.offer_old = false;
    return r;
  }
  // An update that was interrupted earlier is put right first.
  std::string why;
  const Recovery earlier = recover_locked(app, &why);
  if (earlier == Recovery::failed)
    return fail("上次升级未能完成，也无法恢复原来的程序文件，请重新安装 Tavori。", why);
  Result r = run_locked();
  if (r.outcome != Outcome::updated && r.outcome != Outcome::restored) clean_work_folder(app);
  // Nothing under way any more: the working folder goes (the lock with it).
  Plan left;
  if (!read_journal(app, left)) fs::remove_all(work_path(app), ec);
  return r;
}

Result Updater::run_locked() {
  const std::string& app = o_.app_folder;
  Manifest installed;
  const std::string current = installed_version(app, &installed);
  const bool have_installed = !installed.version.empty();

  // 1. The signed manifest.
  stage("正在检查更新…");
  if (p_.cancellable) p_.cancellable(true);
  Download get_manifest;
  get_manifest.url = o_.server_base + "update/" + kServerManifest;
  get_manifest.timeout_ms = o_.timeout_ms;
  get_manifest.whole_time_limit = true;
  get_manifest.limit = kMaxManifestBytes;
  get_manifest.progress = [this](std::uint64_t) { return !cancelled_.load(); };
  if (!get_manifest.run()) {
    if (cancelled_) return fail("已取消升级，" + kUnchanged, "cancelled", Outcome::cancelled);
    if (get_manifest.too_long)
      return fail("更新包的说明文件已损坏，" + kUnchanged, "the manifest is longer than 1 MiB");
    return fail("无法连接升级服务器，" + kUnchanged, get_manifest.url + ": " + get_manifest.error);
  }
  if (get_manifest.status != 200)
    return fail("服务器上没有可用的更新包，" + kUnchanged,
                get_manifest.url + ": HTTP " + std::to_string(get_manifest.status));
  std::string why;
  const std::optional<Manifest> manifest = parse_manifest(get_manifest.text, &why);
  if (!manifest) return fail("更新包的说明文件已损坏，" + kUnchanged, "manifest: " + why);
  if (!verify_text(manifest->signed_text, manifest->signature, kReleasePublicKey))
    return fail("更新包的签名无效，" + kUnchanged, "the manifest's signature does not verify");
  if (compare_versions(manifest->version, current) <= 0)
    return fail("服务器上的版本 " + manifest->version + " 并不比已安装的版本 " + current + " 新，" + kUnchanged,
                "offered " + manifest->version + ", installed " + current);

  // 2. Room for the archive and its files.
  std::uint64_t unpacked = 0;
  for (const FileEntry& f : manifest->files) unpacked += f.size;
  struct statvfs vfs {};
  if (::statvfs(app.c_str(), &vfs) == 0) {
    const std::uint64_t room = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    if (room < manifest->size + unpacked + (1u << 20))
      return fail("磁盘空间不足，" + kUnchanged,
                  "needs " + std::to_string(manifest->size + unpacked) + " bytes, " + std::to_string(room) + " free");
  }

  // 3. The archive.
  stage("正在下载 Tavori " + manifest->version + "…");
  const std::string part = work_path(app, manifest->archive + ".part");
  const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return fail(message_for(failure_of_errno(errno)), part + ": " + std::strerror(errno));
  Sha256 hash;
  Download get_archive;
  get_archive.url = o_.server_base + "update/" + manifest->archive;
  get_archive.timeout_ms = o_.timeout_ms;
  get_archive.limit = manifest->size;
  get_archive.fd = fd;
  get_archive.hash = &hash;
  const std::uint64_t total = manifest->size;
  get_archive.progress = [this, total](std::uint64_t done) {
    if (p_.bytes) p_.bytes(done, total);
    return !cancelled_.load();
  };
  const bool got = get_archive.run();
  const bool synced = ::fsync(fd) == 0;
  const int sync_errno = errno;
  ::close(fd);
  if (cancelled_) return fail("已取消升级，" + kUnchanged, "cancelled", Outcome::cancelled);
  if (get_archive.write_errno)
    return fail(message_for(failure_of_errno(get_archive.write_errno)), part + ": " + std::strerror(get_archive.write_errno));
  if (!synced) return fail(message_for(failure_of_errno(sync_errno)), part + ": " + std::strerror(sync_errno));
  if (get_archive.too_long) return fail("更新包已损坏，" + kUnchanged, "the archive is longer than the manifest says");
  if (!got && get_archive.received == 0 && get_archive.status == 0)
    return fail("无法连接升级服务器，" + kUnchanged, get_archive.url + ": " + get_archive.error);
  if (get_archive.status != 200 && get_archive.status != 0)
    return fail("服务器上没有可用的更新包，" + kUnchanged, get_archive.url + ": HTTP " + std::to_string(get_archive.status));
  if (!got || get_archive.received != manifest->size)
    return fail("下载不完整，" + kUnchanged,
                "received " + std::to_string(get_archive.received) + " of " + std::to_string(manifest->size) +
                    " bytes" + (get_archive.error.empty() ? "" : ": " + get_archive.error));
  if (p_.bytes) p_.bytes(total, total);
  stage("正在校验更新包…");
  if (hash.hex() != manifest->sha256)
    return fail("更新包已损坏（校验和不符），" + kUnchanged, "the archive's SHA-256 differs from the manifest");

  // 4. Unpacked into staged/, every file checked again.
  stage("正在解压…");
  const std::string staged = work_path(app, "staged");
  std::error_code ec;
  fs::remove_all(staged, ec);
  const Failure unpacked_ok = unpack_archive(part, *manifest, staged, why, [this](std::uint64_t) { return !cancelled_.load(); });
  ::unlink(part.c_str());
  if (unpacked_ok != Failure::none) {
    if (unpacked_ok == Failure::cancelled) return fail("已取消升级，" + kUnchanged, "cancelled", Outcome::cancelled);
    return fail(message_for(unpacked_ok), why);
  }
  {
    // The manifest travels into the folder with the files.
    const std::string path = staged + "/" + kInstalledManifest;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << get_manifest.text;
    out.flush();
    if (!out) return fail(message_for(failure_of_errno(errno)), "cannot write " + path);
  }
  if (o_.check_only) {
    Result r;
    r.outcome = Outcome::checked;
    r.message = "更新包 " + manifest->version + " 完好（仅检查）。";
    r.detail = std::to_string(manifest->files.size()) + " files checked";
    return r;
  }

  // 5. The program must have ended.
  stage("正在等待 Tavori 退出…");
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(o_.wait_ms);
  const std::string program = app + "/" + kProgram;
  while (!processes_running(program).empty()) {
    if (cancelled_) return fail("已取消升级，" + kUnchanged, "cancelled", Outcome::cancelled);
    if (std::chrono::steady_clock::now() >= until) {
      Result r = fail("Tavori 仍在运行，无法升级。请退出 Tavori 后重试，" + kUnchanged, program + " is still running");
      r.offer_old = false;
      return r;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (cancelled_) return fail("已取消升级，" + kUnchanged, "cancelled", Outcome::cancelled);

  // 6. The swap.
  if (p_.cancellable) p_.cancellable(false);
  stage("正在安装 Tavori " + manifest->version + "…");
  Plan plan;
  plan.from_version = current;
  plan.to_version = manifest->version;
  std::set<std::string> new_paths;
  for (const FileEntry& f : manifest->files) new_paths.insert(f.path);
  new_paths.insert(kInstalledManifest);
  for (const FileEntry& f : manifest->files) {
    const std::string here = app + "/" + f.path;
    struct stat st {};
    const bool had = ::lstat(here.c_str(), &st) == 0;
    if (had && S_ISDIR(st.st_mode)) return fail("更新包与程序文件夹不符，" + kUnchanged, here + " is a folder");
    plan.put.emplace_back(f.path, had);
  }
  {
    struct stat st {};
    plan.put.emplace_back(kInstalledManifest, ::lstat((app + "/" + kInstalledManifest).c_str(), &st) == 0);
  }
  if (have_installed)
    for (const FileEntry& f : installed.files) {
      struct stat st {};
      if (!new_paths.count(f.path) && is_release_path(f.path) &&
          ::lstat((app + "/" + f.path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
        plan.drop.push_back(f.path);
    }
  if (std::string e = write_journal(app, plan); !e.empty()) return fail(message_for(failure_of_errno(errno)), e);
  const auto pause = [this] {
    if (o_.step_delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(o_.step_delay_ms));
  };
  if (std::string e = swap_files(app, plan, pause); !e.empty())
    return fail("无法写入程序文件夹，" + kUnchanged, e);
  plan.state = "trial";
  if (std::string e = write_journal(app, plan); !e.empty()) {
    const std::string undo = roll_back(app, plan);
    return fail("无法写入程序文件夹，" + kUnchanged, e + (undo.empty() ? "" : "; " + undo));
  }

  // 7. The new program must start and keep running.
  stage("正在启动新版本…");
  int pid = -1;
  bool started = start_program(o_, &pid);
  std::string failure = started ? "" : "cannot start " + program;
  if (started) {
    const auto trial_end = std::chrono::steady_clock::now() + std::chrono::milliseconds(o_.trial_ms);
    while (std::chrono::steady_clock::now() < trial_end) {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        started = false;
        failure = WIFEXITED(status) ? "the new program ended with status " + std::to_string(WEXITSTATUS(status))
                                    : "the new program died of signal " + std::to_string(WTERMSIG(status));
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  if (!started) {
    stage("正在恢复原来的版本…");
    const std::string undo = roll_back(app, plan, pause);
    if (!undo.empty())
      return fail("新版本未能启动，恢复原来的版本时出错：" + undo, failure + "; " + undo, Outcome::restored);
    return fail("新版本未能启动，已恢复原来的版本 " + current + "。", failure, Outcome::restored);
  }
  if (std::string e = commit(app, plan); !e.empty()) {
    // The program runs and its files are whole; the next start finishes.
    Result r;
    r.outcome = Outcome::updated;
    r.message = "已升级到 Tavori " + manifest->version + "。";
    r.detail = "the backup is left for the next start: " + e;
    return r;
  }
  Result r;
  r.outcome = Outcome::updated;
  r.message = "已升级到 Tavori " + manifest->version + "。";
  r.detail = "updated from " + current + " to " + manifest->version;
  return r;
}

}  // namespace tav::update
