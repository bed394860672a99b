#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/posix/posix_files.h"
#include "temp_dir.h"

namespace tav {
namespace {

TEST(PosixFiles, ReplaceWritesWholeFilesAndLeavesNoTemporaryFile) {
  test::TempDir dir;
  PosixFiles files;
  dir.write("a.txt", "old content that is longer");
  ASSERT_TRUE(files.replace(dir.file("a.txt"), "new"));
  EXPECT_EQ(dir.read("a.txt"), "new");
  ASSERT_TRUE(files.replace(dir.file("b.txt"), ""));
  EXPECT_TRUE(dir.exists("b.txt"));
  EXPECT_EQ(dir.entry_count(), 2u);
  // The user's own, whatever the file's rights were before.
  for (const char* name : {"a.txt", "b.txt"}) {
    struct stat st {};
    ASSERT_EQ(::stat(dir.file(name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << name;
  }
}

TEST(PosixFiles, ReplaceFailsWithoutTouchingAnythingWhenItCannotWrite) {
  test::TempDir dir;
  PosixFiles files;
  std::filesystem::create_directory(dir.file("folder"));
  EXPECT_FALSE(files.replace(dir.file("folder"), "x"));
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("folder")));
  EXPECT_FALSE(files.replace(dir.file("missing/x.txt"), "x"));
  EXPECT_EQ(dir.entry_count(), 1u);
}

TEST(PosixFiles, AFailedWriteKeepsTheOldFile) {
  // A file-size limit makes write() fail part-way, as a full disk does.
  test::TempDir dir;
  dir.write("keep.txt", "precious");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    PosixFiles files;
    const bool ok = files.replace(dir.file("keep.txt"), std::string(100000, 'x'));
    ::_exit(ok ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "replace reported success";
  EXPECT_EQ(dir.read("keep.txt"), "precious");
  EXPECT_EQ(dir.entry_count(), 1u);
}

TEST(PosixFiles, ReplaceRemovesTheTemporariesADeadWriterLeftAndNothingElse) {
  test::TempDir dir;
  PosixFiles files;
  dir.write("date.dat", "old");
  dir.write("date.dat.tmp-Ab12Cd", std::string(5000, 'x'));  // a killed writer's
  dir.write("date.dat.tmp-zzzzzz", "");
  for (const char* other : {"date.dat.tmp-short", "date.dat.tmp-Ab12Cd7", "c.htm.tmp-Ab12Cd",
                            "xdate.dat.tmp-Ab12Cd", "date.dat.tmp-Ab_2Cd", "date.dat.bak"})
    dir.write(other, "not ours");
  std::filesystem::create_directory(dir.file("date.dat.tmp-Folder"));
  ASSERT_TRUE(files.replace(dir.file("date.dat"), "new"));
  EXPECT_EQ(dir.read("date.dat"), "new");
  EXPECT_FALSE(dir.exists("date.dat.tmp-Ab12Cd"));
  EXPECT_FALSE(dir.exists("date.dat.tmp-zzzzzz"));
  EXPECT_EQ(dir.entry_count(), 8u);  // date.dat, the six others and the folder

  // A temporary file that a live writer holds stays.
  const std::string busy = dir.file("date.dat.tmp-Busy01");
  dir.write("date.dat.tmp-Busy01", "being written");
  const int fd = ::open(busy.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  ASSERT_TRUE(files.replace(dir.file("date.dat"), "newer"));
  EXPECT_TRUE(dir.exists("date.dat.tmp-Busy01"));
  ::close(fd);
  ASSERT_TRUE(files.replace(dir.file("date.dat"), "newest"));
  EXPECT_FALSE(dir.exists("date.dat.tmp-Busy01"));
}

TEST(PosixFiles, ReadRefusesFoldersOversizedFilesAndMissingOnes) {
  test::TempDir dir;
  PosixFiles files;
  dir.write("big.txt", std::string(1000, 'x'));
  EXPECT_EQ(files.read(dir.file("big.txt"), 1000).value(), std::string(1000, 'x'));
  EXPECT_FALSE(files.read(dir.file("big.txt"), 999).has_value());
  EXPECT_FALSE(files.read(dir.str()).has_value());
  EXPECT_FALSE(files.read(dir.file("none")).has_value());
  ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
  EXPECT_FALSE(files.read(dir.file("pipe")).has_value());  // and does not hang
}

TEST(PosixFiles, ListsNamesWithKinds) {
  test::TempDir dir;
  PosixFiles files;
  dir.write("a.mp4", "");
  dir.write(".hidden", "");
  std::filesystem::create_directory(dir.file("sub"));
  auto entries = files.list(dir.str());
  ASSERT_EQ(entries.size(), 3u);
  int dirs = 0, hidden = 0;
  for (const auto& e : entries) dirs += e.directory, hidden += e.hidden;
  EXPECT_EQ(dirs, 1);
  EXPECT_EQ(hidden, 1);
  EXPECT_TRUE(files.list(dir.file("none")).empty());
}

}  // namespace
}  // namespace tav
