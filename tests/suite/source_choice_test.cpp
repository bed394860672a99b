// What the player plays for each kind of address, and what a pre-buffer
// fetches: no mpv, no display.
#include <gtest/gtest.h>

#include "suite/player/address.h"
#include "suite/player/source_choice.h"
#include "suite_support.h"

namespace {

using namespace tav::suite;
namespace fs = suite_test::fs;

// A save folder of its own and the settings that name it.
struct SaveFolder {
  fs::path folder = suite_test::fresh_folder("choice");
  QvodSettings settings{folder.string() + "/", "http://seeds.test/seed/", true};
};

TEST(SourceChoiceTest, LocalFilesPlayAsThemselvesAndOtherKindsNotAtAll) {
  SaveFolder save;
  suite_test::write_file(save.folder / "film 1.mp4", "bytes");
  const std::string film = (save.folder / "film 1.mp4").string();
  for (const std::string& address : {film, "file://" + save.folder.string() + "/film%201.mp4"}) {
    const SourceChoice c = choose_source(address, save.settings);
    EXPECT_EQ(c.source, film) << address;
    EXPECT_FALSE(c.network);
    EXPECT_EQ(choose_prefetch(address, save.settings).by, Prefetch::By::Nothing);
  }
  for (const std::string& refused :
       {(save.folder / "missing.mp4").string(), save.folder.string(), std::string("rtmp://h/a.flv"),
        std::string("av://lavfi:testsrc"), std::string("film.mp4"), std::string("qvod://0|AB|a.mp4|"),
        std::string()}) {
    const SourceChoice c = choose_source(refused, save.settings);
    EXPECT_EQ(c.source, "") << refused;
    EXPECT_FALSE(c.network) << refused;
    EXPECT_TRUE(c.cache_file.empty() && c.service_target.empty()) << refused;
    EXPECT_TRUE(choose_prefetch(refused, save.settings).target.empty()) << refused;
  }
}

TEST(SourceChoiceTest, HttpStreamsUntilItsCacheFileIsComplete) {
  SaveFolder save;
  for (const std::string url : {"http://h/films/a.mp4?t=1", "HTTPS://h/b.mp4"}) {
    const std::string cache = http_cache_file(save.settings.save_folder, url);
    SourceChoice c = choose_source(url, save.settings);
    EXPECT_EQ(c.source, url);
    EXPECT_TRUE(c.network);
    EXPECT_EQ(c.cache_file, cache);
    const Prefetch p = choose_prefetch(url, save.settings);
    EXPECT_EQ(p.by, Prefetch::By::Download);
    EXPECT_EQ(p.target, cache);
    // The complete download plays from the disk.
    suite_test::write_file(cache, "bytes");
    c = choose_source(url, save.settings);
    EXPECT_EQ(c.source, cache);
    EXPECT_FALSE(c.network);
    EXPECT_EQ(c.cache_file, "");
  }
}

TEST(SourceChoiceTest, QvodGoesThroughTheServiceUntilSavedAndLeavesOtherFilesAlone) {
  SaveFolder save;
  const std::string address = "qvod://5|9F86D081|第01集.mp4|";
  const std::string target = save.settings.save_folder + "第01集.mp4";
  // Not saved, or partly: the service fetches it and names the stream.
  for (const char* have : {"", "abc"}) {
    if (*have) suite_test::write_file(target, have);
    const SourceChoice c = choose_source(address, save.settings);
    EXPECT_EQ(c.service_target, target);
    EXPECT_EQ(c.source, "");
    EXPECT_TRUE(c.network);
    const Prefetch p = choose_prefetch(address, save.settings);
    EXPECT_EQ(p.by, Prefetch::By::Service);
    EXPECT_EQ(p.target, target);
  }
  // Saved: played from the disk without the service.
  suite_test::write_file(target, "abcde");
  SourceChoice c = choose_source(address, save.settings);
  EXPECT_EQ(c.source, target);
  EXPECT_FALSE(c.network);
  EXPECT_EQ(c.service_target, "");
  EXPECT_EQ(choose_prefetch(address, save.settings).by, Prefetch::By::Nothing);
  EXPECT_EQ(choose_prefetch(address, save.settings).target, target);
  // A larger file of that name is not this film's: it streams from its
  // seed, an http(s) one only.
  suite_test::write_file(target, "abcdefgh");
  c = choose_source(address, save.settings);
  EXPECT_EQ(c.source, "http://seeds.test/seed/9F86D081");
  EXPECT_TRUE(c.network);
  EXPECT_EQ(c.service_target, "");
  EXPECT_EQ(choose_prefetch(address, save.settings).by, Prefetch::By::Nothing);
  save.settings.seed_source = "file:///etc/";
  EXPECT_EQ(choose_source(address, save.settings).source, "");
}

}  // namespace
