// update.exe against tavori-server, with real files and processes: a fake
// tavori (fake_tavori.cpp, which runs the recovery first as tavori does)
// in a temporary application folder, releases made with tavori-release.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "release/archive.h"
#include "release/crypto.h"
#include "release/manifest.h"
#include "release/swap.h"
#include "folder_processes.h"
#include "server_process.h"
#include "temp_dir.h"
#include "test_files.h"

namespace tav::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool wait_until(const std::function<bool()>& done, double seconds = 10) {
  const auto until = Clock::now() + std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
  while (Clock::now() < until) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

// A child process with extra environment, its output in a file.
class Child {
 public:
  Child(std::vector<std::string> argv, const std::vector<std::string>& env, std::string output,
        const std::function<void()>& setup = {})
      : output_(std::move(output)) {
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) environment.emplace_back(*e);
    for (const std::string& e : env) {
      const std::string key = e.substr(0, e.find('=') + 1);
      std::erase_if(environment, [&](const std::string& x) { return x.rfind(key, 0) == 0; });
      environment.push_back(e);
    }
    std::vector<char*> args, envp;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      const int out = open(output_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int in = open("/dev/null", O_RDONLY);
      if (out < 0 || in < 0) _exit(126);
      dup2(in, 0);
      dup2(out, 1);
      dup2(out, 2);
      if (setup) setup();
      execve(args[0], args.data(), envp.data());
      _exit(127);
    }
  }
  ~Child() {
    if (pid_ > 0 && status_ == kRunning) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  // The exit status; -1 for a signal; -2 when still running after the time.
  int wait(int timeout_ms) {
    const auto until = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (status_ == kRunning) {
      int st = 0;
      if (waitpid(pid_, &st, WNOHANG) == pid_) {
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        break;
      }
      if (Clock::now() >= until) return -2;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status_;
  }
  void kill_now() {
    if (status_ != kRunning) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    status_ = -1;
  }
  std::string output() const { return slurp(output_); }

 private:
  static constexpr int kRunning = -100;
  pid_t pid_ = -1;
  int status_ = kRunning;
  std::string output_;
};

// The files of a fake release of a version: the program (the fake with its
// version after its end), update.exe, a file in Qvod, a data file and a
// file only this version has.
std::vector<std::string> release_files(const std::string& version) {
  return {"tavori", "update.exe", "Qvod/lib.txt", "data.txt", "only-" + version + ".txt"};
}

void make_release_folder(const fs::path& folder, const std::string& version, bool broken = false,
                         const fs::path& updater = TAVORI_UPDATER_BINARY) {
  fs::create_directories(folder / "Qvod");
  spill(folder / "tavori", slurp(TAVORI_FAKE_PROGRAM) + "\nTAVORI-FAKE-VERSION " + (broken ? "broken" : version) + "\n");
  fs::permissions(folder / "tavori", fs::perms(0755));
  std::error_code ec;
  fs::remove(folder / "update.exe", ec);
  fs::create_hard_link(updater, folder / "update.exe", ec);
  if (ec) fs::copy_file(updater, folder / "update.exe", fs::copy_options::overwrite_existing);
  spill(folder / "Qvod/lib.txt", "library " + version + "\n");
  spill(folder / "data.txt", "data of " + version + "\n");
  spill(folder / ("only-" + version + ".txt"), version + "\n");
}

int run_tool(const std::vector<std::string>& args) {
  std::string command = std::string("'") + TAVORI_RELEASE_TOOL + "'";
  for (const std::string& a : args) command += " '" + a + "'";
  return std::system((command + " >/dev/null 2>&1").c_str());
}

// Packs the folder as a release of the version into out, signed with key.
void pack(const fs::path& from, const std::string& version, const fs::path& out,
          const std::string& key = TAVORI_RELEASE_KEY, bool broken = false) {
  std::vector<std::string> args = {"pack", "--key", key, "--version", version, "--from", from.string(), "--out",
                                   out.string()};
  for (const std::string& f : release_files(broken ? version : version)) args.push_back(f);
  ASSERT_EQ(run_tool(args), 0) << "tavori-release pack failed";
}

// The user's files, with bytes a text editor would not make.
const std::map<std::string, std::string>& user_files() {
  static const std::map<std::string, std::string> files = [] {
    std::map<std::string, std::string> f;
    f["config.ini"] = "[S_q]\r\ns_bo=2\r\nqvodk=\xb2\xe2\xca\xd4\r\n[ver]\r\nName=1.0\r\n";
    f["date.dat"] = "\xb2\xe2\xca\xd4\xbe\xe7$qvod://1|AB|a.mp4|$120\r\n";
    f["f.dat"] = "f\r\n";
    f["date_f.dat"] = "/home/u/film.mp4$33\r\n";
    f["c.htm"] = "<html>\xb2\xe2</html>\r\n";
    f["f.htm"] = "<html>f</html>\r\n";
    f["Qvod/QvodPlayer.xml"] = "<?xml version=\"1.0\"?><QvodPlayer Defaultsavepath=\"Downloads/\" />\r\n";
    std::string film(200000, '\0');
    std::mt19937 random(7);
    for (char& c : film) c = static_cast<char>(random());
    f["Downloads/\xe7\x94\xb5\xe5\xbd\xb1.mp4"] = film;
    return f;
  }();
  return files;
}

// Every file under the folder (not the updater's working folder), with its bytes.
std::map<std::string, std::string> snapshot(const fs::path& folder) {
  std::map<std::string, std::string> out;
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
    const std::string rel = it->path().lexically_relative(folder).string();
    if (rel.rfind(".update", 0) == 0) {
      if (it->is_directory()) it.disable_recursion_pending();
      continue;
    }
    if (it->is_regular_file()) out[rel] = slurp(it->path());
  }
  return out;
}

// The version every program file of the folder belongs to; "" with why
// when they differ.
std::string folder_version(const fs::path& app, std::string& why) {
  const std::string program = slurp(app / "tavori");
  const std::string mark = "\nTAVORI-FAKE-VERSION ";
  const std::size_t at = program.rfind(mark);
  if (at == std::string::npos) return why = "tavori has no version", "";
  std::string v = program.substr(at + mark.size());
  v = v.substr(0, v.find('\n'));
  if (slurp(app / "data.txt") != "data of " + v + "\n") return why = "data.txt is not " + v, "";
  if (slurp(app / "Qvod/lib.txt") != "library " + v + "\n") return why = "Qvod/lib.txt is not " + v, "";
  for (const char* other : {"1.0", "1.1"})
    if (fs::exists(app / (std::string("only-") + other + ".txt")) != (v == other))
      return why = std::string("only-") + other + ".txt does not fit " + v, "";
  const auto m = update::parse_manifest(slurp(app / update::kInstalledManifest));
  if (!m || m->version != v) return why = "release.manifest is not " + v, "";
  if (slurp(app / "update.exe").size() < 1000) return why = "update.exe is damaged", "";
  return v;
}

class Updater : public ::testing::Test {
 protected:
  void SetUp() override {
    app_ = dir_.file("app");
    offer_ = dir_.file("offer");
    // The installed release 1.0, with its manifest, and the user's files.
    make_release_folder(app_, "1.0");
    pack(app_, "1.0", dir_.file("installed"));
    fs::copy_file(dir_.file("installed/release.txt"), app_ / update::kInstalledManifest);
    for (const auto& [name, bytes] : user_files()) spill(app_ / name, bytes);
    before_ = snapshot(app_);
  }

  // Offers a release of the version, signed with key.
  void offer(const std::string& version, const std::string& key = TAVORI_RELEASE_KEY, bool broken = false) {
    const fs::path source = dir_.file("source-" + version);
    make_release_folder(source, version, broken);
    pack(source, version, offer_, key, broken);
  }
  bool serve(std::vector<std::string> args = {}) {
    std::vector<std::string> all = {"--release", offer_.string(), "--log", "pings.log"};
    all.insert(all.end(), args.begin(), args.end());
    return server_.start(all);
  }
  std::vector<std::string> updater_args(std::vector<std::string> extra = {}) const {
    std::vector<std::string> args = {(app_ / "update.exe").string(), "--quiet",
                                     "--server-base=" + server_.base(), "--trial-ms=400", "--timeout-ms=3000"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }
  std::vector<std::string> env() const {
    return {"TAVORI_FAKE_SECONDS=1", "TAVORI_FAKE_LOG=" + dir_.file("starts.log")};
  }
  // Runs the updater to its end; its exit status and output.
  int update(std::string& output, std::vector<std::string> extra = {}, const std::function<void()>& setup = {}) {
    Child child(updater_args(std::move(extra)), env(), dir_.file("updater-output.txt"), setup);
    const int status = child.wait(60000);
    output = child.output();
    return status;
  }
  void expect_unchanged() const {
    EXPECT_TRUE(snapshot(app_) == before_) << "the program's folder changed";
    EXPECT_FALSE(fs::exists(app_ / ".update/journal"));
  }
  void expect_user_files_kept() const {
    for (const auto& [name, bytes] : user_files()) EXPECT_EQ(slurp(app_ / name), bytes) << name;
  }

  TempDir dir_;
  fs::path app_, offer_;
  ServerProcess server_{ServerProcess::later};
  std::map<std::string, std::string> before_;
};

TEST_F(Updater, InstallsASignedNewerReleaseStartsItAndKeepsTheUsersFiles) {
  offer("1.1");
  ASSERT_TRUE(serve()) << server_.output();
  std::string out;
  EXPECT_EQ(update(out), 0) << out;
  EXPECT_TRUE(contains(out, "已升级到 Tavori 1.1。")) << out;
  std::string why;
  EXPECT_EQ(folder_version(app_, why), "1.1") << why;
  EXPECT_FALSE(fs::exists(app_ / "only-1.0.txt")) << "a file the new release lacks stays";
  expect_user_files_kept();
  EXPECT_FALSE(fs::exists(app_ / ".update")) << "the working folder is left";
  // The new program was started (and said its version).
  EXPECT_TRUE(contains(slurp(dir_.file("starts.log")), "1.1 ")) << slurp(dir_.file("starts.log"));
  // Nothing but the release's files and the user's came or went.
  std::map<std::string, std::string> now = snapshot(app_);
  for (const auto& [name, bytes] : user_files()) now.erase(name);
  for (const std::string& f : release_files("1.1")) now.erase(f);
  now.erase(update::kInstalledManifest);
  EXPECT_TRUE(now.empty()) << now.begin()->first;
}

TEST_F(Updater, WaitsForTheRunningProgramToEnd) {
  offer("1.1");
  ASSERT_TRUE(serve()) << server_.output();
  Child old({(app_ / "tavori").string()}, {"TAVORI_FAKE_SECONDS=1.5"}, dir_.file("old-output.txt"));
  ASSERT_TRUE(wait_until([&] { return contains(old.output(), "tavori 1.0"); }));
  std::string out;
  EXPECT_EQ(update(out), 0) << out;
  EXPECT_EQ(old.wait(100), 0) << "the old program was not let end by itself";
  std::string why;
  EXPECT_EQ(folder_version(app_, why), "1.1") << why;
}

TEST_F(Updater, ARunningProgramThatDoesNotEndLeavesEverythingAsItWas) {
  offer("1.1");
  ASSERT_TRUE(serve()) << server_.output();
  Child old({(app_ / "tavori").string()}, {"TAVORI_FAKE_SECONDS=30"}, dir_.file("old-output.txt"));
  ASSERT_TRUE(wait_until([&] { return contains(old.output(), "tavori 1.0"); }));
  std::string out;
  EXPECT_EQ(update(out, {"--wait-ms=500"}), 1) << out;
  EXPECT_TRUE(contains(out, "Tavori 仍在运行，无法升级。")) << out;
  old.kill_now();
  expect_unchanged();
}

TEST_F(Updater, ASignatureOfAnotherKeyChangesNothing) {
  const std::string other_secret = dir_.file("other.key"), other_public = dir_.file("other.pub");
  ASSERT_EQ(run_tool({"keygen", other_secret, other_public}), 0);
  offer("1.1", other_secret);
  ASSERT_TRUE(serve()) << server_.output();
  std::string out;
  EXPECT_EQ(update(out), 1) << out;
  EXPECT_TRUE(contains(out, "更新包的签名无效，未作任何更改。")) << out;
  expect_unchanged();
}

TEST_F(Updater, AManifestChangedAfterSigningChangesNothing) {
  offer("1.1");
  std::string text = slurp(offer_ / "release.txt");
  text.replace(text.find("version 1.1"), 11, "version 1.2");
  spill(offer_ / "release.txt", text);
  ASSERT_TRUE(serve()) << server_.output();
  std::string out;
  EXPECT_EQ(update(out), 1) << out;
  EXPECT_TRUE(contains(out, "更新包的签名无效，未作任何更改。")) << out;
  expect_unchanged();
}

TEST_F(Updater, ATruncatedArchiveChangesNothing) {
  offer("1.1");
  const fs::path archive = offer_ / "tavori-1.1.tvr";
  fs::resize_file(archive, fs::file_size(archive) / 2);
  ASSERT_TRUE(serve()) << server_.output();
  std::string out;
  EXPECT_EQ(update(out), 1) << out;
  EXPECT_TRUE(contains(out, "下载不完整，未作任何更改。")) << out;
  expect_unchanged();
}

TEST_F(Updater, ADamagedArchiveChangesNothing) {
  offer("1.1");
  const fs::path archive = offer_ / "tavori-1.1.tvr";
  std::string bytes = slurp(archive);
  bytes[bytes.size() / 2] ^= 0x55;
  spill(archive, bytes);
  ASSERT_TRUE(serve()) << server_.output();
  std::string out;
  EXPECT_EQ(update(out), 1) << out;
  EXPECT_TRUE(contains(out, "更新包已损坏（校验和不符），未作任何更改。")) << out;
  expect_unchanged();
}

TEST_F(Updater, AReplayedOlderOrTheSameReleaseChangesNothing) {
  for (const char* version : {"0.9", "1.0", "1.00"}) {
    SCOPED_TRACE(version);
    offer(version);
    ASSERT_TRUE(serve()) << server_.output();
    std::string out;
    EXPECT_EQ(update(out), 1) << out;
    EXPECT_TRUE(contains(out, std::string("服务器上的版本 ") + version + " 并不比已安装的版本 1.0 新，未作任何更改。"))
        << out;
    expect_unchanged();
  }
}

TEST_F(Updater, AGarbageManifestChangesNothing) {
  offer("1.1");
  std::string garbage(3000, '\0');
  std::mt19937 random(3);
  for (char& c : garbage) c = static_cast<char>(random());
  for (const std::string& manifest :
       {garbage, std::string("tavori-release 1\nversion 1.1\n"), slurp(offer_ / "release.txt").substr(0, 300),
        std::string("<html>404</html>")}) {
    spill(offer_ / "release.txt", manifest);
    ASSERT_TRUE(serve()) << server_.output();
    std::string out;
    EXPECT_EQ(update(out), 1) << out;
    EXPECT_TRUE(contains(out, "更新包的说明文件已损坏，未作任何更改。")) << out;
    expect_unchanged();
  }
  // A server that answers anything with 4 MiB of noise.
  ASSERT_TRUE(serve({"--garbage", "/box/update/"})) << server_.output();
  std::string out;
  EXPECT_EQ(update(out), 1) << out;
  EXPECT_TRUE(contains(out, "更新包的说明文件已损坏，未作任何更改。")) << out;
  expect_unchanged();
}

TEST_F(Updater, ADeadOrSilentServerIsAMessageWithinTheTimeOut) {
  offer("1.1");
  ASSERT_TRUE(serve()) << server_.output();
  const std::string base = server_.base();
  server_.stop();
  std::string out;
  Child refused({(app_ / "update.exe").string(), "--quiet", "--server-base=" + base}, env(), dir_.file("o1.txt"));
  EXPECT_EQ(refused.wait(15000), 1);
  EXPECT_TRUE(contains(refused.output(), "无法连接升级服务器，未作任何更改。")) << refused.output();
  // Holds the request without an answer: the time-out ends it.
  ASSERT_TRUE(serve({"--hang", "/box/update/"})) << server_.output();
  const auto start = Clock::now();
  EXPECT_EQ(update(out, {"--timeout-ms=1500"}), 1) << out;
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(20));
  EXPECT_TRUE(contains(out, "无法连接升级服务器，未作任何更改。")) << out;
  expect_unchanged();
}

TEST_F(Updater, AFolderThatCannotBeWrittenChangesNothing) {
  offer("1.1");
  ASSERT_TRUE(serve()) << server_.output();
  bool mounted = false;
  if (geteuid() == 0) {
    // root writes any folder: a read-only bind mount of it instead.
    mounted = mount(app_.c_str(), app_.c_str(), nullptr, MS_BIND, nullptr) == 0;
    if (mounted && mount(nullptr, app_.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
      umount2(app_.c_str(), MNT_DETACH);
      mounted = false;
    }
    if (!mounted) GTEST_SKIP() << "running as root without the right to mount";
  } else {
    fs::permissions(app_, fs::perms(0555));
  }
  std::string out;
  const int status = update(out);
  if (mounted) umount2(app_.c_str(), MNT_DETACH);
  else fs::permissions(app_, fs::perms(0755));
  EXPECT_EQ(status, 1) << out;
  EXPECT_TRUE(contains(out, "无法写入程序文件夹，未作任何更改。")) << out;
  expect_unchanged();
}

TEST_F(Updater, AFullDiskChangesNothing) {
  offer("1.1");
  ASSERT_TRUE(serve()) << server_.output();
  // Writes beyond 1 MB fail (EFBIG) as on a full disk, in the middle of the download.
  std::string out;
  EXPECT_EQ(update(out, {}, [] {
              signal(SIGXFSZ, SIG_IGN);
              const rlimit limit{1 << 20, 1 << 20};
              setrlimit(RLIMIT_FSIZE, &limit);
            }),
            1)
      << out;
  EXPECT_TRUE(contains(out, "磁盘空间不足，未作任何更改。")) << out;
  expect_unchanged();
}

TEST_F(Updater, AFolderOnASmallFileSystemChangesNothing) {
  // A file system with too little room for the release, where one can be made.
  const fs::path small = dir_.file("small");
  fs::create_directories(small);
  if (geteuid() != 0 || mount("tavori-test", small.c_str(), "tmpfs", 0, "size=8m") != 0)
    GTEST_SKIP() << "no tmpfs to be had";
  const fs::path app = small / "app";
  fs::copy(app_, app, fs::copy_options::recursive);
  const std::map<std::string, std::string> before = snapshot(app);
  // Fill it up to about 1 MB free.
  struct statvfs vfs {};
  statvfs(small.c_str(), &vfs);
  const std::uint64_t free_bytes = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
  if (free_bytes > (2u << 20)) spill(small / "filler", std::string(free_bytes - (1u << 20), 'x'));
  offer("1.1");
  ASSERT_TRUE(serve()) << server_.output();
  Child child({(app / "update.exe").string(), "--quiet", "--server-base=" + server_.base()}, env(),
              dir_.file("small-output.txt"));
  const int status = child.wait(60000);
  const std::string out = child.output();
  const bool same = snapshot(app) == before;
  umount2(small.c_str(), MNT_DETACH);
  EXPECT_EQ(status, 1) << out;
  EXPECT_TRUE(contains(out, "磁盘空间不足，未作任何更改。")) << out;
  EXPECT_TRUE(same);
}

TEST_F(Updater, APackageManagersCopyIsLeftToThePackageManager) {
  spill(app_ / "tavori-installed", "installed\n");
  before_ = snapshot(app_);
  offer("1.1");
  ASSERT_TRUE(serve()) << server_.output();
  std::string out;
  EXPECT_EQ(update(out), 3) << out;
  EXPECT_TRUE(contains(out, "此程序由系统软件包管理器安装，请使用软件包管理器升级。")) << out;
  expect_unchanged();
  EXPECT_FALSE(fs::exists(app_ / ".update"));
}

TEST_F(Updater, ANewProgramThatDoesNotStartIsRolledBack) {
  offer("1.1", TAVORI_RELEASE_KEY, /*broken=*/true);
  ASSERT_TRUE(serve()) << server_.output();
  std::string out;
  EXPECT_EQ(update(out), 4) << out;
  EXPECT_TRUE(contains(out, "新版本未能启动，已恢复原来的版本 1.0。")) << out;
  expect_unchanged();
  EXPECT_TRUE(contains(slurp(dir_.file("starts.log")), "broken")) << "the new program was not tried";
}

// The updater killed at random moments, 50 times: each time, what tavori's
// start does (the recovery) leaves a folder of one version that starts.
TEST_F(Updater, KilledAtAnyMomentLeavesAProgramOfOneVersionThatStarts) {
  offer("1.1");
  ASSERT_TRUE(serve()) << server_.output();
  const fs::path template_app = dir_.file("template");
  fs::copy(app_, template_app, fs::copy_options::recursive);
  const std::vector<std::string> slow = {"--step-delay-ms=15"};
  // One whole run, to know how long one takes.
  auto fresh = [&] {
    fs::remove_all(app_);
    fs::create_directories(app_);
    for (auto it = fs::recursive_directory_iterator(template_app); it != fs::recursive_directory_iterator(); ++it) {
      const fs::path to = app_ / it->path().lexically_relative(template_app);
      if (it->is_directory()) fs::create_directories(to);
      else if (it->path().filename() == "update.exe") fs::create_hard_link(it->path(), to);
      else fs::copy_file(it->path(), to);
    }
  };
  fresh();
  auto start = Clock::now();
  std::string out;
  ASSERT_EQ(update(out, slow), 0) << out;
  const auto whole = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);

  std::mt19937 random(std::random_device{}());
  std::map<std::string, int> seen, states;
  for (int round = 0; round < 50; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    fresh();
    Child updater(updater_args(slow), env(), dir_.file("killed-output.txt"));
    // Every other round the kill falls within the swap itself (it starts
    // when the updater says so); the others anywhere in the run.
    if (round % 2) {
      wait_until([&] { return contains(updater.output(), "正在安装"); }, 20);
      std::this_thread::sleep_for(std::chrono::milliseconds(random() % 160));
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(random() % (whole.count() + 100)));
    }
    updater.kill_now();
    update::Plan plan;
    ++states[update::read_journal(app_.string(), plan) ? plan.state : std::string("no journal")];
    // tavori's start: the recovery, then the program of the folder runs.
    Child program({(app_ / "tavori").string()}, {"TAVORI_FAKE_SECONDS=0"}, dir_.file("program-output.txt"));
    ASSERT_EQ(program.wait(40000), 0) << program.output();
    std::string why;
    const std::string version = folder_version(app_, why);
    ASSERT_FALSE(version.empty()) << why << "\n" << updater.output();
    EXPECT_TRUE(contains(program.output(), "tavori " + version)) << program.output();
    EXPECT_FALSE(fs::exists(app_ / ".update/journal"));
    EXPECT_FALSE(fs::exists(app_ / ".update/backup"));
    expect_user_files_kept();
    ++seen[version];
  }
  std::printf("killed with the journal at: swapping %d, trial %d, commit %d, none %d\n", states["swapping"],
              states["trial"], states["commit"], states["no journal"]);
  std::printf("after recovery: %d times 1.0, %d times 1.1\n", seen["1.0"], seen["1.1"]);
  EXPECT_GT(states["swapping"], 0) << "no kill fell within a swap";
}

// The release the build made, installed over an older program, and the
// real tavori it carries started (on the offscreen platform).
TEST_F(Updater, TheBuildsOwnReleaseInstallsAndItsProgramStarts) {
#ifndef TAVORI_RELEASE_OFFER
  GTEST_SKIP() << "built without TAVORI_RELEASE";
#else
  // An installed 0.9, so that the build's release is newer.
  fs::remove(app_ / update::kInstalledManifest);
  make_release_folder(dir_.file("source-0.9"), "0.9");
  pack(dir_.file("source-0.9"), "0.9", dir_.file("old"));
  fs::copy_file(dir_.file("old/release.txt"), app_ / update::kInstalledManifest);
  ASSERT_TRUE(server_.start({"--release", TAVORI_RELEASE_OFFER, "--log", "pings.log"})) << server_.output();
  EXPECT_EQ(raw_get(server_.port(), "/box/lib/wen.txt").body, std::string("0====0====0====") + TAVORI_VERSION);
  // First only checked, then installed.
  std::string out;
  EXPECT_EQ(update(out, {"--check-only"}), 6) << out;
  EXPECT_TRUE(contains(out, std::string("更新包 ") + TAVORI_VERSION + " 完好")) << out;
  const fs::path runtime = dir_.file("runtime");
  fs::create_directories(runtime);
  fs::permissions(runtime, fs::perms::owner_all);
  Child updater({(app_ / "update.exe").string(), "--quiet", "--server-base=" + server_.base(), "--trial-ms=1500"},
                {"QT_QPA_PLATFORM=offscreen", "QTWEBENGINE_DISABLE_SANDBOX=1", "HOME=" + dir_.str(),
                 "XDG_RUNTIME_DIR=" + runtime.string(), "XDG_CONFIG_HOME=" + dir_.file("config")},
                dir_.file("real-output.txt"));
  const int status = updater.wait(60000);
  out = updater.output();
  end_processes_in(app_);
  EXPECT_EQ(status, 0) << out;
  EXPECT_TRUE(contains(out, std::string("已升级到 Tavori ") + TAVORI_VERSION + "。")) << out;
  // The folder holds the release's files as the manifest names them.
  const auto m = update::parse_manifest(slurp(app_ / update::kInstalledManifest));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->version, TAVORI_VERSION);
  for (const update::FileEntry& f : m->files)
    EXPECT_EQ(update::sha256_file((app_ / f.path).string()), f.sha256) << f.path;
  // The old release's own files went; the user's stayed.
  EXPECT_FALSE(fs::exists(app_ / "data.txt"));
  EXPECT_FALSE(fs::exists(app_ / "Qvod/lib.txt"));
  EXPECT_TRUE(fs::exists(app_ / "Downloads"));
  EXPECT_FALSE(fs::exists(app_ / ".update"));
  // The program says which version it is: a release of another version
  // cannot carry it (it would ask for that version at every start).
  const std::string newer = std::string(TAVORI_VERSION) + ".1";
  EXPECT_NE(run_tool({"pack", "--key", TAVORI_RELEASE_KEY, "--version", newer, "--from", TAVORI_APP_DIR, "--out",
                      dir_.file("wrong"), "tavori", "i.gif"}),
            0);
  EXPECT_FALSE(fs::exists(dir_.file("wrong/release.txt")));
  EXPECT_EQ(run_tool({"pack", "--key", TAVORI_RELEASE_KEY, "--version", TAVORI_VERSION, "--from", TAVORI_APP_DIR,
                      "--out", dir_.file("right"), "tavori", "i.gif"}),
            0);
#endif
}

// tavori-server's side: the version file names the release it offers.
TEST_F(Updater, TheServerOffersItsReleaseInTheVersionFile) {
  offer("1.1");
  ASSERT_TRUE(serve()) << server_.output();
  EXPECT_EQ(raw_get(server_.port(), "/box/lib/wen.txt").body, "0====0====0====1.1");
  const RawReply manifest = raw_get(server_.port(), "/box/update/release.txt");
  EXPECT_EQ(manifest.status, 200);
  EXPECT_EQ(manifest.body, slurp(offer_ / "release.txt"));
  EXPECT_EQ(raw_get(server_.port(), "/box/update/tavori-1.1.tvr").body.size(), fs::file_size(offer_ / "tavori-1.1.tvr"));
  EXPECT_EQ(raw_get(server_.port(), "/box/update/release.key").status, 404);
  EXPECT_EQ(raw_get(server_.port(), "/box/update/..%2Frelease.txt").status, 404);
  // The updater the shell fallback downloads: the one beside the server.
  const RawReply updater = raw_get(server_.port(), "/box/update/update.exe");
  EXPECT_EQ(updater.status, 200);
  EXPECT_EQ(updater.body, slurp(fs::path(TAVORI_SERVER_BINARY).parent_path() / "update.exe"));
  ASSERT_TRUE(serve({"--offer-version", "1.2", "--wen-exit", "1"})) << server_.output();
  EXPECT_EQ(raw_get(server_.port(), "/box/lib/wen.txt").body, "1====0====0====1.2");
  EXPECT_TRUE(contains(server_.output(), "tavori-release pack --version 1.2")) << server_.output();
}

// The archive reader refuses what a release never holds.
TEST(ReleaseArchive, RefusesLinksEscapesAndTheUsersFiles) {
  TempDir dir;
  update::Manifest m;
  m.files.push_back({"a.txt", 0644, 2, update::sha256_hex("hi")});
  const std::string good = "f 644 2 a.txt\nhi";
  struct Case {
    std::string entries;
    update::Failure expected;
  };
  const std::vector<Case> cases = {
      {good, update::Failure::none},
      {"l 777 5 a.txt\n/etc/", update::Failure::bad_archive},
      {"f 644 2 /a.txt\nhi", update::Failure::bad_archive},
      {"f 644 2 ../a.txt\nhi", update::Failure::bad_archive},
      {"f 644 2 Qvod/../../a.txt\nhi", update::Failure::bad_archive},
      {"f 644 2 config.ini\nhi", update::Failure::bad_archive},
      {"f 644 2 date.dat\nhi", update::Failure::bad_archive},
      {"f 644 2 Qvod/QvodPlayer.xml\nhi", update::Failure::bad_archive},
      {"f 644 2 .update/journal\nhi", update::Failure::bad_archive},
      {"f 644 2 b.txt\nhi", update::Failure::bad_archive},            // not in the manifest
      {"f 644 2 a.txt\nho", update::Failure::bad_archive},            // another SHA-256
      {good + "f 644 2 a.txt\nhi", update::Failure::bad_archive},     // twice
      {"f 644 5 a.txt\nhi", update::Failure::bad_archive},            // truncated
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entries);
    const std::string archive = dir.file("a.tvr");
    spill(archive, "TAVORI-ARCHIVE 1\n" + c.entries + "end\n");
    const std::string staged = dir.file("staged");
    fs::remove_all(staged);
    std::string why;
    EXPECT_EQ(update::unpack_archive(archive, m, staged, why), c.expected) << why;
    EXPECT_FALSE(fs::exists(dir.file("config.ini")));
    EXPECT_FALSE(fs::exists(dir.file("a.txt")));
  }
  EXPECT_FALSE(update::parse_manifest("tavori-release 1\nversion 1.1\narchive x.tvr\nsize 1\nsha256 " +
                                      std::string(64, 'a') + "\nfile 644 1 " + std::string(64, 'a') +
                                      " ../x\nsignature " + std::string(128, 'a') + "\n"));
}

TEST(ReleaseVersions, CompareAsNumbers) {
  EXPECT_GT(update::compare_versions("1.10", "1.9"), 0);
  EXPECT_EQ(update::compare_versions("1.0", "1"), 0);
  EXPECT_EQ(update::compare_versions("1.00", "1.0"), 0);
  EXPECT_LT(update::compare_versions("0.9", "1.0"), 0);
  EXPECT_FALSE(update::is_version("1.0a"));
  EXPECT_FALSE(update::is_version("1..0"));
  EXPECT_FALSE(update::is_version(""));
}

}  // namespace
}  // namespace tav::test

namespace tav::test {
namespace {

// The swap stopped after each of its steps in turn (the process ends
// there, as at a kill): the recovery leaves one whole version each time,
// the old one while the journal said "swapping", the new one after.
TEST(SwapJournal, EveryStepOfTheSwapInterruptedIsRecovered) {
  namespace fs = std::filesystem;
  const std::vector<std::string> both = {"tavori", "data.txt", "Qvod/lib.txt", "release.manifest"};
  update::Plan plan;
  plan.from_version = "1.0";
  plan.to_version = "1.1";
  for (const std::string& f : both) plan.put.emplace_back(f, true);
  plan.put.emplace_back("only-1.1.txt", false);
  plan.drop.push_back("only-1.0.txt");
  const int steps = 2 * 4 + 1 + 1;
  for (int stop = 0; stop <= steps + 2; ++stop) {
    SCOPED_TRACE("stopped after step " + std::to_string(stop));
    TempDir dir;
    const std::string app = dir.file("app");
    for (const std::string& f : both) {
      spill(fs::path(app) / f, f + " 1.0\n");
      spill(fs::path(app) / ".update/staged" / f, f + " 1.1\n");
    }
    spill(fs::path(app) / "only-1.0.txt", "1.0\n");
    spill(fs::path(app) / ".update/staged/only-1.1.txt", "1.1\n");
    spill(fs::path(app) / "config.ini", "mine\n");
    const pid_t child = fork();
    if (child == 0) {
      int step = 0;
      if (!update::write_journal(app, plan).empty()) _exit(2);
      if (!update::swap_files(app, plan, [&] {
            if (++step == stop) _exit(0);
          }).empty())
        _exit(3);
      update::Plan trial = plan;
      trial.state = "trial";
      if (!update::write_journal(app, trial).empty()) _exit(4);
      if (stop == steps + 1) _exit(0);
      if (!update::commit(app, trial).empty()) _exit(5);
      _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::string why;
    const update::Recovery r = update::recover(app, &why);
    ASSERT_NE(r, update::Recovery::failed) << why;
    // Stop 0 never comes: the whole swap runs and the journal says "trial".
    const std::string expected = stop == 0 || stop > steps ? "1.1" : "1.0";
    for (const std::string& f : both) EXPECT_EQ(slurp(fs::path(app) / f), f + " " + expected + "\n") << f;
    EXPECT_EQ(fs::exists(fs::path(app) / "only-1.0.txt"), expected == "1.0");
    EXPECT_EQ(fs::exists(fs::path(app) / "only-1.1.txt"), expected == "1.1");
    EXPECT_EQ(slurp(fs::path(app) / "config.ini"), "mine\n");
    EXPECT_FALSE(fs::exists(fs::path(app) / ".update/journal"));
    EXPECT_FALSE(fs::exists(fs::path(app) / ".update/backup"));
  }
}

}  // namespace
}  // namespace tav::test
