// Writers killed at random moments: every file the program keeps is always
// whole, never missing, and no temporary file outlives the next write.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <thread>

#include "lists/list_files.h"
#include "platform/posix/iconv_code_page.h"
#include "platform/posix/posix_files.h"
#include "startup/settings.h"
#include "temp_dir.h"

namespace tav {
namespace {

// One kind of writer: what is in the folder before it starts, the files it
// writes, and its step i (steps alternate between different contents).
struct Writer {
  const char* name;
  std::vector<std::string> files;
  std::function<void(const std::string& folder)> prepare;
  std::function<void(const std::string& folder, int i)> step;
};

std::vector<Writer> writers() {
  static IconvCodePage gbk;
  static PosixFiles disk;
  auto join = [](const std::string& folder, const char* name) { return folder + "/" + name; };
  return {
      {"replace",
       {"a.bin"},
       [=](const std::string& f) { disk.replace(join(f, "a.bin"), "start"); },
       [=](const std::string& f, int i) {
         disk.replace(join(f, "a.bin"), std::string(i % 2 ? 200000 : 70000, i % 2 ? 'b' : 'a'));
       }},
      {"settings",
       {"config.ini"},
       [=](const std::string& f) {
         disk.replace(join(f, "config.ini"),
                      "[main]\r\nName=Tavori\r\n[S_q]\r\nts=3\r\nh_w=0\r\nh_h=7200\r\n");
       },
       [=](const std::string& f, int i) {
         write_setting(SettingsFile{disk, gbk}, join(f, "config.ini"), "S_q", "h_w",
                       std::string(i % 2 ? 250 : 40, i % 2 ? 'A' : 'B'));
       }},
      {"lists",
       {"date.dat", "c.htm"},
       [=](const std::string& f) {
         disk.replace(join(f, "date.dat"), "\r\n");
         ListFiles(disk, gbk, f).render_list_page("date.dat");
       },
       [=](const std::string& f, int i) {
         ListFiles(disk, gbk, f)
             .add_history(1 + i % 2, "片名" + std::to_string(i % 2), "第1集", "qvod%3A//x", 1, 0, 0);
       }},
      {"pages",
       {"f.htm"},
       [=](const std::string& f) {
         disk.replace(join(f, "date_f.dat"), gbk.from_utf8("本地|/films/a.mp4|0\r\n\r\n"));
         ListFiles(disk, gbk, f).render_list_page("date_f.dat");
       },
       [=](const std::string& f, int i) {
         disk.replace(join(f, "date_f.dat"),
                      gbk.from_utf8(i % 2 ? "本地|/films/a.mp4|0\r\n\r\n" : "\r\n"));
         ListFiles(disk, gbk, f).render_list_page("date_f.dat");
       }},
  };
}

std::size_t temporaries_in(const std::string& folder) {
  std::size_t n = 0;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    n += e.path().filename().string().find(".tmp-") != std::string::npos;
  return n;
}

std::optional<std::string> read_file(const std::string& path) {
  PosixFiles disk;
  return disk.read(path);
}

TEST(KilledWriters, LeaveWholeFilesAndNoTemporariesAfterTheNextWrite) {
  constexpr int kKillsPerWriter = 250;
  const unsigned seed = std::random_device{}();
  std::mt19937 rng(seed);
  int kills = 0, torn = 0, missing = 0, left_by_kill = 0, left_after_next_write = 0;

  for (const Writer& w : writers()) {
    // Every content each file can have: what a run of the writer without
    // interruption goes through (the steps repeat after two).
    test::TempDir scratch;
    w.prepare(scratch.str());
    std::vector<std::set<std::string>> states(w.files.size());
    auto note_states = [&] {
      for (std::size_t k = 0; k < w.files.size(); ++k)
        states[k].insert(read_file(scratch.file(w.files[k])).value_or("<missing>"));
    };
    note_states();
    for (int i = 0; i < 12; ++i) {
      w.step(scratch.str(), i);
      note_states();
    }

    test::TempDir dir;
    w.prepare(dir.str());
    int step = 0;
    for (int round = 0; round < kKillsPerWriter; ++round) {
      const int first = step;
      const pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        for (int i = first;; ++i) w.step(dir.str(), i);
      }
      std::this_thread::sleep_for(std::chrono::microseconds(rng() % 4000));
      ::kill(child, SIGKILL);
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      ++kills;
      for (std::size_t k = 0; k < w.files.size(); ++k) {
        const auto content = read_file(dir.file(w.files[k]));
        if (!content) {
          ++missing;
          ADD_FAILURE() << w.name << ": " << w.files[k] << " missing after kill " << round;
        } else if (!states[k].count(*content)) {
          ++torn;
          ADD_FAILURE() << w.name << ": " << w.files[k] << " torn after kill " << round << " ("
                        << content->size() << " bytes)";
        }
      }
      left_by_kill += static_cast<int>(temporaries_in(dir.str()) > 0);
      // The next write, in this process, starts from a whole file and
      // sweeps up what the killed writer left. It repeats the child's first
      // step, so that the files go through no state the writer never makes.
      w.step(dir.str(), first);
      step = first + 1;
      left_after_next_write += static_cast<int>(temporaries_in(dir.str()));
    }
  }
  std::printf("kill test (seed %u): %d kills, %d torn, %d missing, %d kills left a temporary "
              "file, %d temporaries after the next write\n",
              seed, kills, torn, missing, left_by_kill, left_after_next_write);
  EXPECT_EQ(kills, 1000);
  EXPECT_EQ(left_after_next_write, 0);
  EXPECT_GT(left_by_kill, 0) << "no kill came while a file was being written";
}

}  // namespace
}  // namespace tav
