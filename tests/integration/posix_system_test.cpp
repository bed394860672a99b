// Real processes and programs: the process list from /proc, ending
// processes, starting programs detached.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/posix/posix_system.h"
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

TEST(PosixShell, CommandLinesSplitAsWindowsSplitsThem) {
  using W = std::vector<std::string>;
  EXPECT_EQ(PosixShell::split_command_line("regsvr32 \"/a b/Qvod/QvodInsert.dll\" /s"),
            (W{"regsvr32", "/a b/Qvod/QvodInsert.dll", "/s"}));
  EXPECT_EQ(PosixShell::split_command_line("  a   b  "), (W{"a", "b"}));
  EXPECT_EQ(PosixShell::split_command_line("\"\" x"), (W{"", "x"}));
  EXPECT_EQ(PosixShell::split_command_line("a\"b c\"d"), (W{"ab cd"}));
  EXPECT_TRUE(PosixShell::split_command_line("").empty());
}

}  // namespace
}  // namespace tav
