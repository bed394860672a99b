// Real processes and programs: the process list from /proc, ending
// processes, starting programs detached.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/posix/posix_system.h"
#include "platform/posix/spawn.h"
#include "playback/processes.h"
#include "own_processes.h"
#include "temp_dir.h"

namespace tav {
namespace {

bool eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 100; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  return false;
}

// A copy of sleep under another name, as the player suite's programs are.
std::string fake_program(const test::TempDir& dir, const std::string& relative) {
  const std::string path = dir.file(relative);
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::filesystem::copy_file("/bin/sleep", path);
  ::chmod(path.c_str(), 0755);
  return path;
}

TEST(PosixProcesses, FindsStartedProgramsByImageNameAndEndsThem) {
  test::TempDir dir;
  const std::string program = fake_program(dir, "suite folder/QvodTerminal.exe");
  PosixShell shell(dir.str());
  test::OwnProcesses processes(dir.str());
  ASSERT_TRUE(shell.start("\"" + program + "\" 30", WindowStyle::MinimizedFocus));
  ASSERT_TRUE(eventually([&] { return findProcessId(processes, "QvodTerminal.exe") != 0; }));
  const std::uint32_t id = findProcessId(processes, "QvodTerminal.exe");
  bool found = false;
  for (const ProcessEntry& e : processes.list()) {
    if (e.id != id) continue;
    found = true;
    EXPECT_EQ(e.image_name, "QvodTerminal.exe");
    EXPECT_EQ(e.executable_path, program);
  }
  EXPECT_TRUE(found);
  EXPECT_EQ(findProcessId(processes, "qvodterminal.exe"), 0u);  // case-sensitive
  EXPECT_EQ(findProcessId(processes, "Terminal.ex"), id);         // a part is enough
  EXPECT_TRUE(terminateProcess(processes, id));
  EXPECT_TRUE(eventually([&] { return findProcessId(processes, "QvodTerminal.exe") == 0; }));
  EXPECT_FALSE(terminateProcess(processes, id));
}

TEST(PosixProcesses, KillByNameEndsOnlyTheFirstMatch) {
  test::TempDir dir;
  const std::string program = fake_program(dir, "QvodPlayer.exe");
  PosixShell shell(dir.str());
  test::OwnProcesses processes(dir.str());
  ASSERT_TRUE(shell.start(program + " 30", WindowStyle::NormalFocus));
  ASSERT_TRUE(shell.start(program + " 30", WindowStyle::NormalFocus));
  auto count = [&] {
    int n = 0;
    for (const ProcessEntry& e : processes.list()) n += e.image_name == "QvodPlayer.exe";
    return n;
  };
  ASSERT_TRUE(eventually([&] { return count() == 2; }));
  killProcessByName(processes, "QvodPlayer.exe");
  EXPECT_TRUE(eventually([&] { return count() == 1; }));
  killProcessByName(processes, "QvodPlayer.exe");
  EXPECT_TRUE(eventually([&] { return count() == 0; }));
}

TEST(PosixShell, ProgramsAreFoundInTheApplicationFolderFirst) {
  test::TempDir dir;
  fake_program(dir, "regsvr32");
  PosixShell shell(dir.str());
  test::OwnProcesses processes(dir.str());
  ASSERT_TRUE(shell.start("regsvr32 5", WindowStyle::MinimizedFocus));
  EXPECT_TRUE(eventually([&] {
    for (const ProcessEntry& e : processes.list())
      if (e.executable_path == dir.file("regsvr32")) return true;
    return false;
  }));
  killProcessByName(processes, "regsvr32");
}

TEST(PosixShell, MissingProgramsFailAtOnce) {
  test::TempDir dir;
  PosixShell shell(dir.str());
  const auto before = std::chrono::steady_clock::now();
  EXPECT_FALSE(shell.start("0QvodTerminal.exe", WindowStyle::MinimizedFocus));
  EXPECT_FALSE(shell.start("\"" + dir.file("none/QvodTerminal.exe") + "\"", WindowStyle::Hidden));
  EXPECT_FALSE(shell.start("", WindowStyle::Hidden));
  EXPECT_FALSE(shell.open("", "Open"));
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
}

// The player suite starts its service closing every descriptor it holds:
// a program that does not run is still told.
TEST(DetachedStart, ClosesTheDescriptorsWhenAskedAndStillSaysWhatDidNotRun) {
  test::TempDir dir;
  const int held = ::open("/dev/null", O_RDONLY);  // not close-on-exec
  ASSERT_GE(held, 0);
  for (const bool close : {false, true}) {
    const std::string seen = dir.file(close ? "closed" : "kept");
    const std::string script = "if [ -e /proc/$$/fd/" + std::to_string(held) +
                               " ]; then echo held; else echo closed; fi > " + seen + ".new && mv " +
                               seen + ".new " + seen;
    ASSERT_TRUE(spawn_detached({"/bin/sh", "-c", script}, {.close_descriptors = close}));
    ASSERT_TRUE(eventually([&] { return std::filesystem::exists(seen); })) << seen;
    EXPECT_EQ(dir.read(close ? "closed" : "kept"), close ? "closed\n" : "held\n");
  }
  EXPECT_FALSE(spawn_detached({dir.file("none")}, {.close_descriptors = true}));
  ::close(held);
}

}  // namespace
}  // namespace tav
