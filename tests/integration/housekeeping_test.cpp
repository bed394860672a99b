// The suite's processes at start and at exit, on real processes: stand-ins
// copied under the suite's names into folders of their own.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "base/text.h"
#include "forms/ba1.h"
#include "platform/headless/headless.h"
#include "platform/posix/iconv_code_page.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_system.h"
#include "startup/startup.h"
#include "own_processes.h"
#include "temp_dir.h"

namespace tav {
namespace {

namespace fs = std::filesystem;

class SuiteProcesses : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const pid_t pid : started_) ::kill(pid, SIGKILL);
    for (const pid_t pid : started_) ::waitpid(pid, nullptr, 0);
    for (const ProcessEntry& p : real_processes.list())  // what the program started
      if (starts_with(p.executable_path, dir.str())) ::kill(static_cast<pid_t>(p.id), SIGKILL);
  }
  // A stand-in named `name` in folder `folder` of the test; started when
  // asked.
  std::string stand_in(const std::string& folder, const std::string& name, bool run) {
    fs::create_directories(dir.file(folder));
    const std::string path = dir.file(folder) + "/" + name;
    fs::copy_file(TAVORI_IDLE_BINARY, path, fs::copy_options::overwrite_existing);
    if (run) {
      const pid_t pid = ::fork();
      if (pid == 0) {
        ::execl(path.c_str(), path.c_str(), nullptr);
        ::_exit(127);
      }
      started_.push_back(pid);
      wait_for([&] { return running(path); });
    }
    return path;
  }
  bool running(const std::string& path) const {
    for (const ProcessEntry& p : real_processes.list())
      if (p.executable_path == path) return true;
    return false;
  }
  template <typename Condition>
  bool wait_for(Condition done) {
    for (int i = 0; i < 500 && !done(); ++i) {  // 10 s, for a busy machine
      for (const pid_t pid : started_) ::waitpid(pid, nullptr, WNOHANG);  // no zombies
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
  }
  std::unique_ptr<BA1> start_program() {
    auto w = tav::start_program(pf, config);
    hp.log.clear();
    return w;
  }
  std::string setting(const std::string& key) {
    return read_setting(SettingsFile{disk, gbk}, dir.file("config.ini"), "S_q", key, "0");
  }
  void put_setting(const std::string& key, const std::string& value) {
    write_setting(SettingsFile{disk, gbk}, dir.file("config.ini"), "S_q", key, value);
  }

  test::TempDir dir;
  PosixFiles disk;
  IconvCodePage gbk;
  HeadlessPlatform hp{disk, gbk};
  test::OwnProcesses real_processes{dir.str()};
  PosixShell real_shell{dir.str()};
  Platform pf{hp.platform().code_page, hp.platform().files,   hp.platform().http,
              hp.platform().dialogs,   real_shell,            real_processes,
              hp.platform().registry,  hp.platform().adapters, hp.platform().instance,
              hp.platform().tray,      hp.platform().screen,   hp.platform().clock,
              hp.platform().random,    hp.platform().loop,     hp.platform().windows,
              hp.platform().metrics,   hp.platform().images,   hp.platform().media,
              hp.platform().screen_saver};
  AppConfig config{dir.str(), "http://127.0.0.1:9/box/", "", "http://127.0.0.1:9/player/"};
  std::vector<pid_t> started_;
};

TEST_F(SuiteProcesses, AStandalonePlayerIsEndedAndTheServiceStartedFromItsFolder) {
  const std::string player = stand_in("F", "QvodPlayer.exe", true);
  const std::string service = stand_in("F", "QvodTerminal.exe", false);
  auto w = start_program();
  w->Timer3_Timer();
  EXPECT_TRUE(wait_for([&] { return !running(player); }));
  EXPECT_TRUE(wait_for([&] { return running(service); }));
  EXPECT_EQ(setting("qvodw"), dir.file("F") + "/");
}

TEST_F(SuiteProcesses, ARunningServiceIsLeftAloneAndItsFolderKept) {
  const std::string service = stand_in("G", "QvodTerminal.exe", true);
  auto w = start_program();
  w->Timer3_Timer();
  EXPECT_TRUE(running(service));
  EXPECT_EQ(setting("qvodw"), dir.file("G") + "/");
  // At exit, with qvodk 1, nothing is ended.
  put_setting("qvodk", "1");
  w->ttt_v();
  EXPECT_TRUE(running(service));
}

TEST_F(SuiteProcesses, NamesAreWholeAtStartAndPartsAtExit) {
  const std::string prefixed = stand_in("H", "MyQvodPlayer.exe", true);
  const std::string other_case = stand_in("I", "qvodplayer.EXE", true);
  // The service runs, so nothing is started.
  const std::string service = stand_in("J", "QvodTerminal.exe", true);
  auto w = start_program();
  w->Timer3_Timer();
  EXPECT_TRUE(wait_for([&] { return !running(other_case); }));
  EXPECT_TRUE(running(prefixed));
  // A name longer than the fifteen characters the kernel keeps is still
  // found whole.
  ASSERT_GT(std::string("MyQvodPlayer.exe").size(), 15u);
  put_setting("qvodk", "2");
  w->ttt_v();
  EXPECT_TRUE(wait_for([&] { return !running(prefixed); }));
  EXPECT_TRUE(wait_for([&] { return !running(service); }));
}

TEST_F(SuiteProcesses, AnotherUsersSuiteProgramsAreNeitherEndedNorAdopted) {
  if (::getuid() != 0) GTEST_SKIP() << "running a program as another user needs root";
  // Programs of the suite's names that another user runs, from a folder
  // that user can reach.
  const std::string player = stand_in("K", "QvodPlayer.exe", false);
  const std::string service = stand_in("K", "QvodTerminal.exe", false);
  for (const std::string& folder : {dir.str(), dir.file("K")}) ::chmod(folder.c_str(), 0755);
  std::vector<pid_t> foreign;
  for (const std::string& path : {player, service}) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(126);
      ::execl(path.c_str(), path.c_str(), nullptr);
      ::_exit(127);
    }
    started_.push_back(pid);
    foreign.push_back(pid);
  }
  const auto alive = [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) == 0; };
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  for (const pid_t pid : foreign) ASSERT_TRUE(alive(pid));
  auto w = start_program();
  w->Timer3_Timer();
  EXPECT_NE(setting("qvodw"), dir.file("K") + "/");
  put_setting("qvodk", "2");
  w->ttt_v();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  for (const pid_t pid : foreign) EXPECT_TRUE(alive(pid)) << pid;
  // Nor does the process list offer them to anyone.
  ProcProcesses all;
  for (const ProcessEntry& p : all.list())
    for (const pid_t pid : foreign) EXPECT_NE(p.id, static_cast<std::uint32_t>(pid));
  for (const pid_t pid : foreign) EXPECT_FALSE(all.terminate(static_cast<std::uint32_t>(pid)));
}

}  // namespace
}  // namespace tav
