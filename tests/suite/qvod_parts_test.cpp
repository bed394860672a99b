// The Qt-free parts of the player: qvod:// addresses, QvodPlayer.xml and
// the resumable download.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "suite/player/address.h"
#include "suite/player/download.h"
#include "suite/player/qvod_settings.h"
#include "suite/player/terminal_client.h"
#include "suite/player/terminal_link.h"
#include "suite_support.h"

namespace {

using namespace tav::suite;
namespace fs = suite_test::fs;

// --- addresses ---

TEST(QvodAddressTest, ParsesSizeHashAndName) {
  const auto q = parse_qvod("qvod://332613|9F86D081884C7D65|第01集.mp4|");
  ASSERT_TRUE(q);
  EXPECT_EQ(q->size, 332613);
  EXPECT_EQ(q->hash, "9F86D081884C7D65");
  EXPECT_EQ(q->file_name, "第01集.mp4");
  // The closing bar is often missing; the scheme's case does not matter.
  const auto open = parse_qvod("QVOD://10|ab|x.rmvb");
  ASSERT_TRUE(open);
  EXPECT_EQ(open->file_name, "x.rmvb");
  EXPECT_EQ(address_kind("Qvod://1|a|b|"), AddressKind::Qvod);
}

TEST(QvodAddressTest, RefusesUnusableParts) {
  EXPECT_FALSE(parse_qvod("qvod://|abc|x.mp4|"));
  EXPECT_FALSE(parse_qvod("qvod://0|abc|x.mp4|"));
  EXPECT_FALSE(parse_qvod("qvod://-5|abc|x.mp4|"));
  EXPECT_FALSE(parse_qvod("qvod://12a|abc|x.mp4|"));
  EXPECT_FALSE(parse_qvod("qvod://99999999999999999999|abc|x.mp4|"));
  EXPECT_FALSE(parse_qvod("qvod://100||x.mp4|"));
  // The hash goes into the seed URL: nothing that could change the URL.
  EXPECT_FALSE(parse_qvod("qvod://100|../admin|x.mp4|"));
  EXPECT_FALSE(parse_qvod("qvod://100|ab?x=1|x.mp4|"));
  EXPECT_FALSE(parse_qvod("http://100|ab|x.mp4|"));
}

TEST(QvodAddressTest, FileNameStaysInsideTheSaveFolder) {
  EXPECT_EQ(parse_qvod("qvod://100|ab|../../.bashrc|")->file_name, ".._.._.bashrc");
  EXPECT_EQ(parse_qvod("qvod://100|ab|/etc/passwd|")->file_name, "_etc_passwd");
  EXPECT_EQ(parse_qvod("qvod://100|ab|a\\b.mp4|")->file_name, "a_b.mp4");
  EXPECT_EQ(parse_qvod("qvod://100|ab|..|")->file_name, "ab");
  EXPECT_EQ(parse_qvod("qvod://100|ab||")->file_name, "ab");
  EXPECT_EQ(parse_qvod("qvod://100|ab|a\nb|")->file_name, "a_b");
  // Never the name of another film's work files.
  EXPECT_EQ(parse_qvod("qvod://100|ab|keep.mkv.part|")->file_name, "keep.mkv.part_");
  EXPECT_EQ(parse_qvod("qvod://100|ab|keep.mkv.PART.job|")->file_name, "keep.mkv.PART.job_");
  EXPECT_EQ(parse_qvod("qvod://100|ab|keep.mkv.part.job.new|")->file_name, "keep.mkv.part.job.new_");
  const std::string long_part = parse_qvod("qvod://100|ab|" + std::string(300, 'x') + ".part|")->file_name;
  EXPECT_LE(long_part.size(), 200u);
  EXPECT_EQ(long_part.substr(long_part.size() - 6), ".part_");
  const std::string long_name = std::string(300, 'x') + ".mkv";
  const std::string cut = parse_qvod("qvod://100|ab|" + long_name + "|")->file_name;
  EXPECT_LE(cut.size(), 200u);
  EXPECT_EQ(cut.substr(cut.size() - 4), ".mkv");
  // Cutting never splits a UTF-8 character.
  std::string chinese;
  for (int i = 0; i < 100; ++i) chinese += "集";
  const std::string cut_cn = safe_file_name(chinese + ".mp4");
  EXPECT_EQ((cut_cn.size() - 4) % 3, 0u);
}

TEST(AddressTest, KindsAndLocalPaths) {
  EXPECT_EQ(address_kind("/home/u/a.mp4"), AddressKind::Local);
  EXPECT_EQ(address_kind("file:///home/u/a%20b.mp4"), AddressKind::Local);
  EXPECT_EQ(local_path("/home/u/a b.mp4"), "/home/u/a b.mp4");
  EXPECT_EQ(local_path("file:///home/u/a%20b.mp4"), "/home/u/a b.mp4");
  EXPECT_EQ(local_path("file://localhost/tmp/x.mp4"), "/tmp/x.mp4");
  EXPECT_EQ(local_path("file:///tmp/100%"), "/tmp/100%");
  EXPECT_EQ(address_kind("HTTPS://h/x.mp4"), AddressKind::Http);
  EXPECT_EQ(address_kind("http://127.0.0.1:8080/a"), AddressKind::Http);
  // Nothing but http(s), qvod and absolute paths: no other scheme, none of
  // mpv's protocols, no path relative to wherever the player runs.
  for (const char* other : {"edl://%20%/etc/passwd", "av://lavfi:sine", "fdclose://5", "fd://0",
                            "memory://x", "ffmpeg://tcp://h:1", "relative/a b.mp4", "a.mp4", "-",
                            "C:\\a.mp4", "", "ftp://h/a.mp4"}) {
    EXPECT_EQ(address_kind(other), AddressKind::Unsupported) << other;
    EXPECT_EQ(local_path(other), "") << other;
  }
  // file:// is a path and nothing else, also when the rest is escaped.
  for (const char* hidden : {"file://av://v4l2:/dev/video0", "file://fdclose://5", "file://fd://3",
                             "FILE://ffmpeg%3A%2F%2Ftcp%3A%2F%2Fh%3A1", "FILE://%66fmpeg%3A%2F%2Fx",
                             "file://av%3A%2F%2Flavfi%3Asine", "file://host/tmp/x.mp4",
                             "file://localhostx/tmp/x.mp4", "file:", "file://", "file:///tmp/a%00b.mp4"}) {
    EXPECT_EQ(local_path(hidden), "") << hidden;
    EXPECT_EQ(local_file(hidden), "") << hidden;
  }
  EXPECT_EQ(local_path(std::string_view("/tmp/a\0b.mp4", 13)), "");
}

TEST(AddressTest, OnlyRegularFilesAreLocalFiles) {
  const fs::path folder = suite_test::fresh_folder("local");
  suite_test::write_file(folder / "film 1.mp4", "bytes");
  ASSERT_EQ(::mkfifo((folder / "fifo.mp4").c_str(), 0600), 0);
  fs::create_directories(folder / "folder.mp4");
  fs::create_symlink(folder / "film 1.mp4", folder / "link.mp4");
  fs::create_symlink("/dev/zero", folder / "zero.mp4");
  EXPECT_EQ(local_file((folder / "film 1.mp4").string()), (folder / "film 1.mp4").string());
  EXPECT_EQ(local_file("file://" + folder.string() + "/film%201.mp4"), (folder / "film 1.mp4").string());
  EXPECT_EQ(local_file((folder / "link.mp4").string()), (folder / "link.mp4").string());
  for (const std::string& refused :
       {std::string("/dev/zero"), std::string("file:///dev/zero"), std::string("/dev/null"),
        (folder / "fifo.mp4").string(),
        (folder / "folder.mp4").string(), (folder / "zero.mp4").string(),
        (folder / "missing.mp4").string()})
    EXPECT_EQ(local_file(refused), "") << refused;
}

TEST(AddressTest, HttpCacheFileIsStableAndInTheSaveFolder) {
  const std::string a = http_cache_file("/s/", "http://h/films/a.mp4?token=1");
  EXPECT_EQ(a, http_cache_file("/s/", "http://h/films/a.mp4?token=1"));
  EXPECT_NE(a, http_cache_file("/s/", "http://h/films/a.mp4?token=2"));
  EXPECT_EQ(a.rfind("/s/cache-", 0), 0u);
  EXPECT_EQ(a.substr(a.size() - 4), ".mp4");
  EXPECT_EQ(http_cache_file("/s/", "http://h/x/../..%2f").find('/', 3), std::string::npos);
}

// --- QvodPlayer.xml ---

TEST(QvodSettingsTest, MissingFileIsCreatedWithTheDefaults) {
  const fs::path folder = suite_test::fresh_folder("suite");
  const QvodSettings s = load_qvod_settings(folder.string());
  const std::string home = getenv("HOME");
  EXPECT_EQ(s.save_folder, home + "/Videos/Qvod/");
  EXPECT_EQ(s.seed_source, "http://127.0.0.1:8080/seed/");
  EXPECT_FALSE(s.seed_named);
  const std::string text = suite_test::read_file(folder / "QvodPlayer.xml");
  // Read line by line elsewhere: both values on the line with Defaultsavepath=.
  std::string line;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    const std::string l = text.substr(at, end - at);
    if (l.find("Defaultsavepath=") != std::string::npos) {
      line = l;
      break;
    }
    at = end == std::string::npos ? text.size() : end + 1;
  }
  EXPECT_NE(line.find("Defaultsavepath=\"" + home + "/Videos/Qvod/\""), std::string::npos) << text;
  // The seed source is the user's to name: none is written for them.
  EXPECT_EQ(text.find("Seedsource"), std::string::npos) << text;
  for (const auto& entry : fs::directory_iterator(folder))
    EXPECT_EQ(entry.path().filename(), "QvodPlayer.xml");
  EXPECT_EQ(fs::status(folder / "QvodPlayer.xml").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST(QvodSettingsTest, ReadsWhatTheSettingsDialogWrites) {
  const fs::path folder = suite_test::fresh_folder("suite");
  suite_test::write_file(folder / "QvodPlayer.xml",
                         "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n"
                         "<QvodPlayer Seedsource = 'http://10.0.0.1/s/' "
                         "Defaultsavepath=\"/data/Tom &amp; Jerry\" MaxSpeed=\"0\"/>\r\n");
  const QvodSettings s = load_qvod_settings(folder.string());
  EXPECT_EQ(s.save_folder, "/data/Tom & Jerry/");  // the slash is added
  EXPECT_EQ(s.seed_source, "http://10.0.0.1/s/");
  // Written back, the values survive the round trip.
  suite_test::write_file(folder / "QvodPlayer.xml", qvod_settings_text(s));
  const QvodSettings again = load_qvod_settings(folder.string());
  EXPECT_EQ(again.save_folder, s.save_folder);
  EXPECT_EQ(again.seed_source, s.seed_source);
}

TEST(QvodSettingsTest, AttributeNamesMatchWhole) {
  EXPECT_EQ(xml_attribute("<a XDefaultsavepath=\"/x/\" Defaultsavepath=\"/y/\"/>",
                          "Defaultsavepath"),
            "/y/");
  EXPECT_EQ(xml_attribute("<a Defaultsavepath=\"/unterminated", "Defaultsavepath"), "");
  // A value missing from the file takes its default.
  const fs::path folder = suite_test::fresh_folder("suite");
  suite_test::write_file(folder / "QvodPlayer.xml", "<QvodPlayer Defaultsavepath=\"/v/\" />");
  EXPECT_EQ(load_qvod_settings(folder.string()).seed_source, kDefaultSeedSource);
}

// Where the settings file names no seed source, the seeds come from the
// server the program plays from (TAVORI_SERVER_BASE), or from the one a
// player asks the service with; the file's own always wins.
TEST(QvodSettingsTest, SeedSourceFollowsTheProgramsServerUnlessTheFileNamesOne) {
  struct Environment {
    Environment() { setenv(kServerBaseVariable, "http://10.1.2.3:4567/box/", 1); }
    ~Environment() { unsetenv(kServerBaseVariable); }
  } program;
  const fs::path folder = suite_test::fresh_folder("suite");
  QvodSettings s = load_qvod_settings(folder.string());
  EXPECT_EQ(s.seed_source, "http://10.1.2.3:4567/seed/");
  EXPECT_FALSE(s.seed_named);
  EXPECT_EQ(suite_test::read_file(folder / "QvodPlayer.xml").find("Seedsource"), std::string::npos);
  s = load_qvod_settings(folder.string(), "https://seeds.example/s/");
  EXPECT_EQ(s.seed_source, "https://seeds.example/s/");
  for (const char* unusable : {"ftp://h/seed/", "file:///etc/", "http://h/a b/", "qvod://x", "seed/"})
    EXPECT_EQ(load_qvod_settings(folder.string(), unusable).seed_source, "http://10.1.2.3:4567/seed/")
        << unusable;
  suite_test::write_file(folder / "QvodPlayer.xml",
                         "<QvodPlayer Defaultsavepath=\"/v/\" Seedsource=\"http://mine/s/\" />");
  s = load_qvod_settings(folder.string(), "https://seeds.example/s/");
  EXPECT_EQ(s.seed_source, "http://mine/s/");
  EXPECT_TRUE(s.seed_named);
  EXPECT_NE(qvod_settings_text(s).find("Seedsource=\"http://mine/s/\""), std::string::npos);

  EXPECT_EQ(seed_source_of_server("http://H:8/box/"), "http://H:8/seed/");
  EXPECT_EQ(seed_source_of_server("HTTPS://h.example/box/x?y#z"), "HTTPS://h.example/seed/");
  EXPECT_EQ(seed_source_of_server("http://[::1]:8080"), "http://[::1]:8080/seed/");
  for (const char* odd : {"", "box/", "ftp://h/box/", "http:///box/", "http://a b/box/"})
    EXPECT_EQ(seed_source_of_server(odd), "") << odd;
  setenv(kServerBaseVariable, "not a server", 1);
  EXPECT_EQ(program_seed_source(), "");
  unsetenv(kServerBaseVariable);
  EXPECT_EQ(load_qvod_settings(suite_test::fresh_folder("suite").string()).seed_source,
            kDefaultSeedSource);
}

// --- downloads ---

std::string pattern_bytes(std::size_t n) {
  std::string bytes(n, '\0');
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>((i * 7919) >> 3);
  return bytes;
}

bool wait_finished(const Download& d, int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!d.finished() && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return d.finished();
}

TEST(DownloadTest, FetchesWholeFileAndReportsProgress) {
  suite_test::SeedServer server;
  const std::string bytes = pattern_bytes(300000);
  server.add("/seed/abc", bytes, 600000);  // about half a second
  const fs::path target = suite_test::fresh_folder("save") / "new folder" / "a.mp4";
  Download d({server.base() + "/seed/abc", target.string(), 300000, false, {}});
  int seen_progress = 0, seen_speed = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!d.finished() && std::chrono::steady_clock::now() < end) {
    if (d.per_mille() > 0 && d.per_mille() < 1000) seen_progress = d.per_mille();
    seen_speed = std::max(seen_speed, d.speed_kb());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_EQ(d.state(), Download::State::Complete) << d.error();
  EXPECT_GT(seen_progress, 0);
  EXPECT_GT(seen_speed, 100);  // about 585 KB/s
  EXPECT_LT(seen_speed, 2000);
  EXPECT_EQ(d.per_mille(), 1000);
  EXPECT_EQ(d.speed_kb(), 0);
  EXPECT_EQ(suite_test::read_file(target), bytes);
}

TEST(DownloadTest, ResumesAPartialFile) {
  suite_test::SeedServer server;
  const std::string bytes = pattern_bytes(200000);
  server.add("/seed/abc", bytes);
  const fs::path target = suite_test::fresh_folder("save") / "a.mp4";
  suite_test::write_file(target, bytes.substr(0, 123456));
  Download d({server.base() + "/seed/abc", target.string(), 200000, false, {}});
  ASSERT_TRUE(wait_finished(d, 10000));
  ASSERT_EQ(d.state(), Download::State::Complete) << d.error();
  EXPECT_EQ(suite_test::read_file(target), bytes);
  EXPECT_EQ(server.ranges("/seed/abc"), std::vector<std::string>{"bytes=123456-"});
}

TEST(DownloadTest, CompleteFileIsNotFetchedAgain) {
  suite_test::SeedServer server;
  const fs::path target = suite_test::fresh_folder("save") / "a.mp4";
  suite_test::write_file(target, pattern_bytes(1000));
  Download d({server.base() + "/seed/abc", target.string(), 1000, false, {}});
  EXPECT_EQ(d.state(), Download::State::Complete);
  EXPECT_EQ(d.per_mille(), 1000);
  EXPECT_EQ(server.requests("/seed/abc"), 0);
}

TEST(DownloadTest, LargerFileOfThatNameIsLeftAlone) {
  suite_test::SeedServer server;
  server.add("/seed/abc", pattern_bytes(1000));
  const fs::path target = suite_test::fresh_folder("save") / "mine.mp4";
  const std::string mine = pattern_bytes(5000);
  suite_test::write_file(target, mine);
  Download d({server.base() + "/seed/abc", target.string(), 1000, false, {}});
  ASSERT_TRUE(wait_finished(d, 5000));
  EXPECT_EQ(d.state(), Download::State::Failed);
  EXPECT_EQ(suite_test::read_file(target), mine);
  EXPECT_EQ(server.requests("/seed/abc"), 0);
}

TEST(DownloadTest, MissingSeedFailsWithoutRetrying) {
  suite_test::SeedServer server;
  const fs::path target = suite_test::fresh_folder("save") / "a.mp4";
  const auto start = std::chrono::steady_clock::now();
  Download d({server.base() + "/seed/nothere", target.string(), 1000, false, {}});
  ASSERT_TRUE(wait_finished(d, 5000));
  EXPECT_EQ(d.state(), Download::State::Failed);
  EXPECT_NE(d.error().find("404"), std::string::npos) << d.error();
  EXPECT_EQ(server.requests("/seed/nothere"), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  // The 404 page is not the film: no file is left behind.
  EXPECT_FALSE(fs::exists(target));
}

TEST(DownloadTest, HttpCacheUsesAPartFileUntilComplete) {
  suite_test::SeedServer server;
  const std::string bytes = pattern_bytes(100000);
  server.add("/media/b.mp4", bytes, 400000);
  const fs::path target = suite_test::fresh_folder("save") / "cache-1.mp4";
  Download d({server.base() + "/media/b.mp4", target.string(), -1, true, {}});
  bool saw_part = false;
  for (int i = 0; i < 500 && !d.finished(); ++i) {
    if (fs::exists(target.string() + ".part")) {
      saw_part = true;
      EXPECT_FALSE(fs::exists(target));
      if (d.bytes() > 0) {
        EXPECT_EQ(d.total(), 100000);
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(d.state(), Download::State::Complete) << d.error();
  EXPECT_TRUE(saw_part);
  EXPECT_FALSE(fs::exists(target.string() + ".part"));
  EXPECT_EQ(suite_test::read_file(target), bytes);
}

TEST(DownloadTest, CancelEndsAStalledTransferAtOnce) {
  suite_test::SeedServer server;
  server.add("/seed/slow", pattern_bytes(1000000), 2000);  // 2 KB/s: minutes
  const fs::path target = suite_test::fresh_folder("save") / "a.mp4";
  auto d = std::make_unique<Download>(
      DownloadRequest{server.base() + "/seed/slow", target.string(), 1000000, false, {}});
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(d->state(), Download::State::Running);
  const auto start = std::chrono::steady_clock::now();
  d.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
}

TEST(DownloadTest, DeadServerIsRetriedThenGivenUpOrCancelledQuickly) {
  // Nothing listens on the port once this server is gone.
  int port = 0;
  {
    suite_test::SeedServer gone;
    port = gone.port();
  }
  const fs::path target = suite_test::fresh_folder("save") / "a.mp4";
  auto d = std::make_unique<Download>(DownloadRequest{
      "http://127.0.0.1:" + std::to_string(port) + "/seed/x", target.string(), 1000, false, {}});
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(d->state(), Download::State::Running);  // waiting to try again
  EXPECT_EQ(d->speed_kb(), 0);
  const auto start = std::chrono::steady_clock::now();
  d.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
}

// Without a size, an answer is kept only while it fits: one that says it is
// longer than the free space or the cap is refused before a byte is
// written, one without end stops at the cap, and nothing is left of any.
TEST(DownloadTest, UnsizedAnswersAreBounded) {
  suite_test::SeedServer server;
  server.add_endless("/media/huge.mp4", std::int64_t{1} << 60);
  server.add_endless("/media/endless.mp4");
  server.add("/media/big.mp4", pattern_bytes(300000));
  const fs::path folder = suite_test::fresh_folder("save");
  struct Case {
    const char* path;
    std::int64_t cap;
    const char* says;
  };
  for (const Case& c : {Case{"/media/huge.mp4", INT64_MAX, "free space"},
                        Case{"/media/big.mp4", 200000, "more than"},
                        Case{"/media/endless.mp4", 200000, "goes on past"}}) {
    DownloadRequest request{server.base() + c.path, (folder / "cache.mp4").string(), -1, true, {}};
    request.max_bytes = c.cap;
    Download d(request);
    ASSERT_TRUE(wait_finished(d, 10000)) << c.path;
    EXPECT_EQ(d.state(), Download::State::Failed) << c.path;
    EXPECT_NE(d.error().find(c.says), std::string::npos) << d.error();
    EXPECT_TRUE(fs::is_empty(folder)) << c.path;
  }
}

TEST(DownloadTest, WritesOnlyIntoFilesOfItsOwn) {
  suite_test::SeedServer server;
  const std::string bytes = pattern_bytes(200000);
  server.add("/seed/abc", bytes, 400000);  // half a second
  const std::string url = server.base() + "/seed/abc";
  const fs::path folder = suite_test::fresh_folder("save");
  // A part file it may not resume is left as it is.
  suite_test::write_file(folder / "a.mp4.part", "mine");
  DownloadRequest fresh{url, (folder / "a.mp4").string(), 200000, true, {}};
  fresh.resume = false;
  Download refused(fresh);
  ASSERT_TRUE(wait_finished(refused, 5000));
  EXPECT_EQ(refused.state(), Download::State::Failed);
  EXPECT_EQ(suite_test::read_file(folder / "a.mp4.part"), "mine");
  // A link in the place of the part file is not followed.
  suite_test::write_file(folder / "outside", "mine");
  fs::create_symlink(folder / "outside", folder / "b.mp4.part");
  Download linked({url, (folder / "b.mp4").string(), 200000, true, {}});
  ASSERT_TRUE(wait_finished(linked, 5000));
  EXPECT_EQ(linked.state(), Download::State::Failed);
  EXPECT_EQ(suite_test::read_file(folder / "outside"), "mine");
  EXPECT_EQ(server.requests("/seed/abc"), 0);
  // A file that takes the final name meanwhile is not replaced: the film
  // stays in its part file.
  Download late({url, (folder / "c.mp4").string(), 200000, true, {}});
  ASSERT_TRUE(suite_test::wait_until([&] { return fs::exists(folder / "c.mp4.part"); }, 5000));
  suite_test::write_file(folder / "c.mp4", "mine");
  ASSERT_TRUE(wait_finished(late, 5000));
  EXPECT_EQ(late.state(), Download::State::Failed);
  EXPECT_NE(late.error().find("appeared meanwhile"), std::string::npos) << late.error();
  EXPECT_EQ(suite_test::read_file(folder / "c.mp4"), "mine");
  EXPECT_EQ(suite_test::read_file(folder / "c.mp4.part"), bytes);
}

// --- what the control and the service share ---

TEST(Sha1Test, FilesAreReadWholeAndNotThroughALink) {
  const fs::path file = suite_test::fresh_folder("sha") / "a";
  suite_test::write_file(file, std::string(1000000, 'a'));
  EXPECT_EQ(sha1_file(file.string()), "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F");
  EXPECT_EQ(sha1_file((file.parent_path() / "missing").string()), "");
  fs::create_symlink(file, file.parent_path() / "link");
  EXPECT_EQ(sha1_file((file.parent_path() / "link").string()), "");
}

TEST(TerminalLinkTest, EndpointFileRoundTripAndRefusals) {
  const fs::path folder = suite_test::fresh_folder("run");
  EXPECT_FALSE(read_terminal_endpoint(folder.string()));
  ASSERT_TRUE(write_terminal_endpoint(folder.string(), {4321, "abc123", 77}));
  const auto e = read_terminal_endpoint(folder.string());
  ASSERT_TRUE(e);
  EXPECT_EQ(e->port, 4321);
  EXPECT_EQ(e->token, "abc123");
  EXPECT_EQ(e->pid, 77);
  EXPECT_EQ(fs::status(folder / kTerminalEndpointName).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  for (const char* bad : {"", "4321", "0 abc 7\n", "70000 abc 7\n", "4321 ab/c 7\n",
                          "4321 abc 0\n", "4321 abc -5\n"}) {
    suite_test::write_file(folder / kTerminalEndpointName, bad);
    EXPECT_FALSE(read_terminal_endpoint(folder.string())) << bad;
  }
}

TEST(TerminalLinkTest, FilmStatusRoundTrip) {
  FilmStatus s;
  s.state = FilmState::Failed;
  s.have = 123;
  s.size = 4567;
  s.speed_kb = 8;
  s.error = "two\nlines";
  const auto back = parse_film_status(format_film_status(s));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->state, FilmState::Failed);
  EXPECT_EQ(back->have, 123);
  EXPECT_EQ(back->size, 4567);
  EXPECT_EQ(back->speed_kb, 8);
  EXPECT_EQ(back->error, "two lines");
  EXPECT_FALSE(parse_film_status("sleeping 1 2 3\n"));
  EXPECT_FALSE(parse_film_status("running 1 2\n"));
  EXPECT_FALSE(parse_film_status(""));
}

TEST(TerminalLinkTest, JobFileNamesItsFilm) {
  const auto paused = parse_job_file("qvod://10|AB|x.mp4|\npaused\n");
  ASSERT_TRUE(paused);
  EXPECT_EQ(paused->address, "qvod://10|AB|x.mp4|");
  EXPECT_TRUE(paused->paused);
  EXPECT_TRUE(parse_job_file(job_file_text(*paused))->paused);
  EXPECT_FALSE(parse_job_file("qvod://10|AB|x.mp4|\r\n")->paused);
  EXPECT_FALSE(parse_job_file("precious\n"));
  EXPECT_FALSE(parse_job_file(""));

  const fs::path folder = suite_test::fresh_folder("jobs");
  const std::string target = (folder / "x.mp4").string();
  suite_test::write_file(job_file_of(target), "qvod://10|ab|x.mp4|\n");
  EXPECT_TRUE(job_names_film(target, *parse_qvod("QVOD://10|AB|x.mp4")));  // the same film
  EXPECT_FALSE(job_names_film(target, *parse_qvod("qvod://11|ab|x.mp4|")));
  EXPECT_FALSE(job_names_film(target, *parse_qvod("qvod://10|cd|x.mp4|")));
  // Only a regular file is read: not through a link, never waiting on a FIFO.
  suite_test::write_file(folder / "elsewhere", "qvod://10|ab|x.mp4|\n");
  fs::remove(job_file_of(target));
  fs::create_symlink(folder / "elsewhere", job_file_of(target));
  EXPECT_FALSE(job_names_film(target, *parse_qvod("qvod://10|ab|x.mp4|")));
  fs::remove(job_file_of(target));
  ASSERT_EQ(::mkfifo(job_file_of(target).c_str(), 0600), 0);
  EXPECT_FALSE(read_job_file(job_file_of(target)));
}

// A loopback port's listeners as /proc/net/tcp and tcp6 list them: each
// word of an address in hex as it lies in memory.
TEST(TerminalLinkTest, ListenersOfALoopbackPort) {
  const auto word = [](std::uint32_t host_order) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", htonl(host_order));
    return std::string(text);
  };
  const auto row = [](const std::string& address, int port, const char* state, unsigned uid) {
    char text[300];
    std::snprintf(text, sizeof text,
                  "   0: %s:%04X 00000000:0000 %s 00000000:00000000 00:00000000 00000000 %5u        0 "
                  "4242 1 0000000000000000 100 0 0 10 0\n",
                  address.c_str(), port, state, uid);
    return std::string(text);
  };
  const std::string v4 =
      "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n" +
      row(word(0x7F000001), 4321, "0A", 1000) + row(word(0), 4321, "0A", 2000) +
      row(word(0x0A000005), 4321, "0A", 3000) + row(word(0x7F000001), 4322, "0A", 4000) +
      row(word(0x7F000001), 4321, "01", 5000) + "garbage\n   1: 0100007F:10E1 x\n";
  EXPECT_EQ(loopback_listeners(v4, 4321, false), (std::vector<unsigned>{1000, 2000}));
  const std::string any6 = word(0) + word(0) + word(0) + word(0);
  const std::string mapped = word(0) + word(0) + word(0xFFFF) + word(0x7F000001);
  const std::string loopback6 = word(0) + word(0) + word(0) + word(1);
  const std::string v6 = row(any6, 4321, "0A", 6000) + row(mapped, 4321, "0A", 7000) +
                         row(loopback6, 4321, "0A", 8000);
  EXPECT_EQ(loopback_listeners(v6, 4321, true), (std::vector<unsigned>{6000, 7000}));

  // A socket of this process: this user's, no one else's.
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof at;
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
  ASSERT_EQ(::listen(fd, 1), 0);
  ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &size), 0);
  const int port = ntohs(at.sin_port);
  EXPECT_TRUE(loopback_port_owned_by(port, ::getuid()));
  EXPECT_FALSE(loopback_port_owned_by(port, ::getuid() + 1));
  ::close(fd);
  EXPECT_FALSE(loopback_port_owned_by(port, ::getuid()));  // nobody listens
}

// What answers on the endpoint's port of a service that is gone may be
// another user's program: it hears nothing, not even the ping (whose path
// holds the token), unless it is the owner's.
TEST(TerminalLinkTest, ClientSaysNothingToAnotherUsersPort) {
  std::atomic<int> asked{0};
  std::atomic<long> answer_pid{0};
  httplib::Server impostor;
  impostor.Get(".*", [&](const httplib::Request&, httplib::Response& res) {
    ++asked;
    res.set_content("QvodTerminal " + std::to_string(answer_pid.load()) + "\n", "text/plain");
  });
  const int port = impostor.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { impostor.listen_after_bind(); });
  while (!impostor.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const unsigned other = ::getuid() + 1;
  // The endpoint file's process: the other user's where this test may make
  // one (run as root; then only the port tells), else this one's.
  const pid_t process = ::fork();
  if (process == 0) {
    // Dumpable again after the change, so that /proc shows its owner.
    if (::getuid() == 0 && (::setuid(other) != 0 || ::prctl(PR_SET_DUMPABLE, 1) != 0)) ::_exit(1);
    ::pause();
    ::_exit(0);
  }
  const std::string old_runtime = getenv("XDG_RUNTIME_DIR");
  setenv("XDG_RUNTIME_DIR", suite_test::fresh_folder("run").c_str(), 1);
  const std::string runtime = terminal_runtime_folder();
  // A suite folder without the service: nothing is started instead.
  const std::string folder = suite_test::fresh_folder("bare").string();
  const auto meet = [&](std::optional<unsigned> owner, long pid) {
    answer_pid = pid;
    EXPECT_TRUE(write_terminal_endpoint(runtime, {port, "abc123", pid}));
    TerminalClient client(folder, {}, owner);
    client.fetch("qvod://100|AB|x.mp4|");
    EXPECT_TRUE(suite_test::wait_until([&] { return client.link() != TerminalClient::Link::Unknown; }, 5000));
    return client.link();
  };
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the child's setuid
  EXPECT_EQ(meet(other, process), TerminalClient::Link::Unavailable);
  EXPECT_EQ(asked, 0);
  // The same program on a port of this user is talked to.
  EXPECT_EQ(meet(std::nullopt, ::getpid()), TerminalClient::Link::Up);
  EXPECT_GT(asked, 0);
  setenv("XDG_RUNTIME_DIR", old_runtime.c_str(), 1);
  ::kill(process, SIGKILL);
  ::waitpid(process, nullptr, 0);
  impostor.stop();
  serving.join();
}

}  // namespace
