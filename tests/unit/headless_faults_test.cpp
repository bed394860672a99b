// The headless backend's faults: files that fail on command, refused player
// calls, and the choice among several network adapters.
#include <gtest/gtest.h>

#include "platform/headless/headless.h"
#include "disk_services.h"
#include "playback/player.h"
#include "temp_dir.h"

namespace tav {
namespace {

class FaultyFilesTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  test::DiskFiles disk;
  FaultyFiles faulty{disk};
  EffectLog log;
  RecordingFiles files{faulty, log, &faulty};

  void SetUp() override { dir.write("a.dat", "old bytes"); }
};

TEST_F(FaultyFilesTest, AReadOnlyFolderRefusesWritesAndRemovalsAndKeepsTheFiles) {
  faulty.read_only = true;
  EXPECT_FALSE(files.replace(dir.file("a.dat"), "new"));
  EXPECT_FALSE(files.replace(dir.file("b.dat"), "new"));
  EXPECT_FALSE(files.remove(dir.file("a.dat")));
  EXPECT_EQ(dir.read("a.dat"), "old bytes");
  EXPECT_FALSE(dir.exists("b.dat"));
  EXPECT_EQ(dir.entry_count(), 1u);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"file write failed a.dat (read-only)",
                                                   "file write failed b.dat (read-only)",
                                                   "file remove failed a.dat (read-only)"}));
  // Reads still work.
  EXPECT_EQ(files.read(dir.file("a.dat"), Files::kDefaultReadLimit), "old bytes");
  faulty.heal();
  EXPECT_TRUE(files.replace(dir.file("a.dat"), "new"));
  EXPECT_EQ(log.lines().back(), "file written a.dat");
}

TEST_F(FaultyFilesTest, ANamedFileFailsAlone) {
  faulty.failing_names.insert("a.dat");
  EXPECT_FALSE(files.replace(dir.file("a.dat"), "new"));
  EXPECT_TRUE(files.replace(dir.file("b.dat"), "new"));
  EXPECT_EQ(dir.read("a.dat"), "old bytes");
  EXPECT_EQ(dir.read("b.dat"), "new");
  EXPECT_EQ(log.lines().front(), "file write failed a.dat (failing)");
  // Only writes fail: the file can still be removed.
  EXPECT_TRUE(files.remove(dir.file("a.dat")));
}

TEST_F(FaultyFilesTest, AFullDiskAccountsForWhatIsWrittenAndFreed) {
  faulty.free_bytes = 10;
  // A replacement needs its whole size free beside the old file.
  EXPECT_FALSE(files.replace(dir.file("a.dat"), "eleven byte"));
  EXPECT_EQ(dir.read("a.dat"), "old bytes");
  EXPECT_EQ(log.lines().back(), "file write failed a.dat (disk full)");
  // 9 old bytes freed, 10 used: 9 left.
  EXPECT_TRUE(files.replace(dir.file("a.dat"), "ten bytes!"));
  EXPECT_EQ(faulty.free_bytes, 9u);
  EXPECT_FALSE(files.replace(dir.file("b.dat"), "ten bytes!"));
  EXPECT_TRUE(files.remove(dir.file("a.dat")));
  EXPECT_EQ(faulty.free_bytes, 19u);
  EXPECT_TRUE(files.replace(dir.file("b.dat"), "ten bytes!"));
  EXPECT_EQ(faulty.free_bytes, 9u);
}

TEST_F(FaultyFilesTest, AFullDiskWritesWhatFitsThroughTheLimitedWriter) {
  std::size_t limit_given = 0;
  faulty.limited_replace = [&](Files& inner, std::string_view path, std::string_view content,
                               std::size_t limit) {
    EXPECT_EQ(&inner, &disk);
    EXPECT_EQ(path, dir.file("a.dat"));
    EXPECT_EQ(content, "a longer content");
    limit_given = limit;
    return false;
  };
  faulty.free_bytes = 4;
  EXPECT_FALSE(files.replace(dir.file("a.dat"), "a longer content"));
  EXPECT_EQ(limit_given, 4u);
  EXPECT_EQ(log.lines().back(), "file write failed a.dat (disk full after 4 of 16 bytes)");
  EXPECT_EQ(dir.read("a.dat"), "old bytes");
  // No room at all: the writer is not asked.
  limit_given = 0;
  faulty.free_bytes = 0;
  EXPECT_FALSE(files.replace(dir.file("a.dat"), "a longer content"));
  EXPECT_EQ(limit_given, 0u);
  EXPECT_EQ(log.lines().back(), "file write failed a.dat (disk full)");
}

TEST_F(FaultyFilesTest, AFailureOfTheRealFilesHasNoFaultNamed) {
  EXPECT_FALSE(files.replace(dir.file("missing/x.dat"), "x"));
  EXPECT_FALSE(files.remove(dir.file("missing.dat")));
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"file write failed x.dat",
                                                   "file remove failed missing.dat"}));
}

struct ManualClock : Clock {
  LocalTime now() const override { return {}; }
  long long monotonic_ms() const override { return 0; }
};

TEST(FakePlayerFaults, ARefusedCallThrowsLogsAndChangesNothing) {
  ManualClock clock;
  EffectLog log;
  PlayerFaults faults;
  FakePlayer player(clock, log, faults);
  player.put(dispid::kAddress, Variant("a.mp4"));
  faults.dispids = {dispid::kAddress, dispid::kPlay};
  EXPECT_THROW(player.put(dispid::kAddress, Variant("b.mp4")), AutomationError);
  EXPECT_THROW(player.get(dispid::kAddress), AutomationError);
  EXPECT_THROW(player.invoke(dispid::kPlay, {}), AutomationError);
  EXPECT_EQ(player.get(dispid::kPlayState).to_int(), 0);
  faults = {};
  EXPECT_EQ(player.get(dispid::kAddress).to_text(), "a.mp4");
  faults.all = true;
  EXPECT_THROW(player.invoke(dispid::kPreBuffer, {Variant("n.mp4")}), AutomationError);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "player put 1 \"a.mp4\"", "player failed put 1 \"b.mp4\"",
                             "player failed get 1", "player failed call 12",
                             "player failed call 30 \"n.mp4\""}));
}

TEST(HeadlessAdapters, TheFirstAdapterUpNotLoopbackWithIpv4Counts) {
  HeadlessAdapters a;
  a.adapters = {{"00:00:00:00:00:00", true, true, true},
                {"02:00:00:00:00:01", false, false, true},
                {"02:00:00:00:00:02", true, false, false},
                {"00:1A:2B:3C:4D:5E", true, false, true},
                {"00:1A:2B:3C:4D:5F", true, false, true}};
  EXPECT_EQ(a.first_ip_enabled_mac(), "00:1A:2B:3C:4D:5E");
  a.adapters.erase(a.adapters.begin() + 3, a.adapters.end());
  EXPECT_EQ(a.first_ip_enabled_mac(), "");
  a.set_only("AA:BB:CC:DD:EE:FF");
  EXPECT_EQ(a.first_ip_enabled_mac(), "AA:BB:CC:DD:EE:FF");
  a.set_only("");
  EXPECT_TRUE(a.adapters.empty());
  EXPECT_EQ(a.first_ip_enabled_mac(), "");
}

}  // namespace
}  // namespace tav
