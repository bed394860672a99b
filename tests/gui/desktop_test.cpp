// The desktop client for real: tavori under Xvfb against tavori-server on a
// free port, in a fresh application folder.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <algorithm>
#include <set>

#include "desktop_fixture.h"

namespace tav::test {
namespace {

// The skinned window, not a blank or black one: the dark title bar of the
// skin, its caption buttons and the library's pictures and text.
void expect_skinned_window(const std::string& png) {
  QImage shot(QString::fromStdString(png));
  ASSERT_FALSE(shot.isNull()) << png;
  const QImage window = shot.copy(0, 0, 949, 480);
  std::set<QRgb> colours;
  int lit = 0;
  for (int y = 0; y < window.height(); y += 2) {
    for (int x = 0; x < window.width(); x += 2) {
      const QRgb c = window.pixel(x, y);
      colours.insert(c);
      if (qGray(c) > 40) ++lit;
    }
  }
  EXPECT_GT(colours.size(), 200u) << "too few colours: a blank window";
  EXPECT_GT(lit, 2000) << "almost nothing lit: a black window";
  const int title = qGray(window.pixel(300, 10));
  EXPECT_GT(title, 4) << "the title bar is not the skin's";
  EXPECT_LT(title, 90) << "the title bar is not the skin's";
  EXPECT_EQ(qGray(shot.pixel(1200, 700)), 0) << "the window is not where it should be";
}

// The film's picture in the video area (the player site at 3,28, 457x390,
// times the screen's scale).
void expect_picture_in_video_area(const std::string& png, double scale = 1) {
  const auto px = [scale](double logical) { return static_cast<int>(logical * scale); };
  expect_picture_in(png, px(3), px(28), px(457), px(390));
  const QImage shot(QString::fromStdString(png));
  ASSERT_FALSE(shot.isNull()) << png;
  // In its place: the title strip above it and beside the library keeps
  // the skin's grey.
  int coloured = 0, strip = 0;
  for (int x = px(150); x < px(940); x += 3) {
    for (int y = px(4); y < px(24); y += 3) {
      const QRgb c = shot.pixel(x, y);
      if (std::max({qRed(c), qGreen(c), qBlue(c)}) - std::min({qRed(c), qGreen(c), qBlue(c)}) > 80)
        ++coloured;
      ++strip;
    }
  }
  EXPECT_LT(coloured, strip / 20) << "the picture covers the title strip: it is out of place";
}

TEST_F(Desktop, StartsInAFreshFolderLoadsTheLibraryAndPings) {
  ASSERT_TRUE(start_server()) << server_->output();
  auto app = make_app();
  app->start();
  ASSERT_TRUE(app->wait_traced("BA1 shown", 60)) << app->output();
  EXPECT_TRUE(app->has("config.ini"));
  EXPECT_EQ(app->file("date.dat"), "\r\n");
  EXPECT_EQ(app->file("date_f.dat"), "\r\n");
  EXPECT_TRUE(app->has("c.htm"));
  EXPECT_TRUE(app->has("f.htm"));
  ASSERT_TRUE(app->wait_traced("Pic1 shown", 60)) << app->trace();
  EXPECT_NE(server_->output().find("GET /box/ 200"), std::string::npos) << server_->output();

  // The ping carries the identifier the first start stored.
  const std::string config = app->file("config.ini");
  const std::size_t user = config.find("[User]\r\nName=");
  ASSERT_NE(user, std::string::npos) << config;
  const std::string id = config.substr(user + 13, config.find("\r\n", user + 13) - user - 13);
  EXPECT_TRUE(wait_for([&] { return server_->folder().read("pings.log").find(id) != std::string::npos; }, 20))
      << id;
  // The player library was registered in the background.
  EXPECT_TRUE(wait_for([&] { return app->registry().find("QvodInsert.dll") != std::string::npos; }, 20));

  std::this_thread::sleep_for(std::chrono::seconds(2));
  expect_skinned_window(app->screenshot("library"));

  // The list tab shows the history page.
  app->click(587, 459);
  EXPECT_TRUE(app->wait_traced("zz1 shown", 10)) << app->trace();
  EXPECT_TRUE(app->traced("navigate Web3 " + app->app_file("c.htm")));
  std::this_thread::sleep_for(std::chrono::seconds(1));
  app->screenshot("history");
}

TEST_F(Desktop, PlaysAFilmFromTheLibraryAndThenTheNextEpisode) {
  ASSERT_TRUE(start_server({"--follow", kFirstEpisode})) << server_->output();
  auto app = make_app();
  app->register_player();
  ASSERT_NE(app->registry().find("QvodInsert.dll"), std::string::npos);
  app->start();
  ASSERT_TRUE(app->wait_traced("player put 1 qvod://", 60)) << app->trace() << app->output();
  ASSERT_TRUE(app->wait_traced("zhun caption 播放中(", 30)) << app->trace() << app->output();
  EXPECT_NE(server_->output().find("GET /seed/"), std::string::npos);
  EXPECT_TRUE(app->traced("navigate Web4 " + server_->origin() + "/box/pp.htm?1-1-0-测试剧-0"));
  EXPECT_NE(app->file("date.dat").find("1|\xB2\xE2\xCA\xD4\xBE\xE7|\xB5\xDA" "1\xBC\xAF|qvod%3A//"),
            std::string::npos)
      << app->file("date.dat");
  std::this_thread::sleep_for(std::chrono::seconds(2));
  expect_picture_in_video_area(app->screenshot("playing"));

  // At the end of the six seconds the second episode starts by itself.
  ASSERT_TRUE(app->wait_traced("|ep2.mp4|", 40)) << app->trace();
  const std::string second = "navigate Web4 " + server_->origin() + "/box/pp.htm?1-1-1-测试剧-0";
  EXPECT_TRUE(app->wait_traced(second, 10));
  // Pause: the cover with the advertisement strip or its picture. The
  // second episode must be playing first (the address of episode 2 is in
  // the trace earlier already, from its pre-buffering).
  ASSERT_TRUE(app->wait_traced_after(second, "zhun caption 播放中(", 20)) << app->trace();
  app->click(95, 462);
  EXPECT_TRUE(app->wait_traced("zhun caption 已暂停", 10)) << app->trace();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  app->screenshot("paused");
  // The downloads reached the save folder.
  std::string saved;
  for (const auto& e : std::filesystem::directory_iterator(app->downloads()))
    saved += e.path().filename().string() + " ";
  EXPECT_TRUE(std::filesystem::exists(app->downloads() + "/ep1.mp4")) << saved;
}

TEST_F(Desktop, AWebEpisodeWithAChineseFileNameReachesItsPageAsTheServerWroteIt) {
  // The server's play link escapes the name as %uXXXX; the page gets those
  // bytes as they are, never escaped a second time, and plays the film.
  const std::string media = server_->folder().file("media");
  std::filesystem::create_directories(media);
  std::filesystem::copy_file(Media::get().folder() + "/" + Media::film(), media + "/山 海.mp4");
  server_->folder().write("catalogue.txt", "series 1\nname 测试剧\nshelf library\nepisode 第1集 | 山 海.mp4 | web\n");
  ASSERT_TRUE(server_->start({"--catalogue", "catalogue.txt", "--media", media, "--verbose", "--follow",
                              kFirstEpisode}))
      << server_->output();
  auto app = make_app();
  app->start();
  ASSERT_TRUE(app->wait_traced("navigate Web2 " + server_->origin() + "/box/play.htm?web$$$", 60))
      << app->trace();
  EXPECT_TRUE(wait_for([&] { return server_->output().find("GET /media/") != std::string::npos; }, 30))
      << server_->output();
  const std::string log = server_->output();
  const std::size_t play = log.find("GET /box/play.htm?web$$$");
  ASSERT_NE(play, std::string::npos) << log;
  const std::string request = log.substr(play, log.find('\n', play) - play);
  EXPECT_NE(request.find("%u5C71"), std::string::npos) << request;
  EXPECT_EQ(request.find("%25u"), std::string::npos) << request;
  const std::string page = app->wait_last("page Web2 ", "play.htm", 20);
  EXPECT_EQ(page.find("无法播放"), std::string::npos) << page;
  std::this_thread::sleep_for(std::chrono::seconds(2));
  app->screenshot("web-episode-chinese-name");
  // Stop: the panel goes, and its film with it, sound and all.
  app->click(27, 461);
  EXPECT_TRUE(app->wait_traced("Web2 hidden", 10)) << app->trace();
  EXPECT_TRUE(app->wait_traced("media Web2 held 1", 10)) << app->trace();
}

// Where a trace line starting with prefix and containing part first stands
// at or after from; npos when none does.
std::size_t traced_at(const std::string& trace, const std::string& prefix, const std::string& part,
                      std::size_t from = 0) {
  for (std::size_t at = trace.find("\n" + prefix, from == 0 ? 0 : from - 1); at != std::string::npos;
       at = trace.find("\n" + prefix, at + 1)) {
    const std::size_t end = trace.find('\n', at + 1);
    if (trace.substr(at, end - at).find(part) != std::string::npos) return at + 1;
  }
  return std::string::npos;
}

// How dark a box of a screenshot is: the share of its pixels darker than
// the grey of a window of another program.
double dark_share(const QImage& shot, int x, int y, int w, int h) {
  int dark = 0, all = 0;
  for (int j = y; j < y + h; j += 2) {
    for (int i = x; i < x + w; i += 2) {
      if (qGray(shot.pixel(i, j)) < 60) ++dark;
      ++all;
    }
  }
  return all ? static_cast<double>(dark) / all : 0;
}

// An episode lookup waits for a slow server. Meanwhile the window is drawn
// again where another window uncovers it, and neither a click on another
// episode nor the status tick runs in the middle of the lookup: the first
// episode's effects all come before anything of the second click.
TEST_F(Desktop, ALookupWaitingForTheServerKeepsTheWindowDrawnAndRunsNothingElseMeanwhile) {
  ASSERT_TRUE(start_server({"--follow", kFirstEpisode, "--delay-ms", "3000"})) << server_->output();
  auto app = make_app();
  app->register_player();
  app->start();
  ASSERT_TRUE(app->wait_traced("zhun caption 播放中(", 90)) << app->trace() << app->output();
  // The next episode's data has come (pre-buffering); the film is paused so
  // that it does not end and move on by itself.
  ASSERT_TRUE(app->wait_traced("player call 30 ", 60)) << app->trace();
  app->click(95, 462);
  ASSERT_TRUE(app->wait_traced("zhun caption 已暂停", 20)) << app->trace();
  const std::string page = app->wait_last("page Web4 ", "eebovod://1-1-2-", 30);
  const auto second = link_box(page, "eebovod://1-1-1-%u6D4B%u8BD5%u5267");
  const auto third = link_box(page, "eebovod://1-1-2-%u6D4B%u8BD5%u5267");
  ASSERT_TRUE(second && third) << page;

  const std::string searching = "zhun caption 正在搜索资源，请稍后";
  const int lookups = app->traced_count(searching);
  app->click(second->cx(), second->cy());
  ASSERT_TRUE(wait_for([&] { return app->traced_count(searching) == lookups + 1; }, 10)) << app->trace();
  // A click on the third episode while the lookup of the second waits.
  app->click(third->cx(), third->cy());

  // Another program's window over the transport bar, then gone again: the
  // bar is drawn anew at once, not left with the other window's picture.
  const pid_t cover = launch({"/usr/bin/xmessage", "-geometry", "280x60+20+405", "-bg", "white",
                              "-fg", "white", " "},
                             {"DISPLAY=" + x_->display()}, "/tmp", "/dev/null");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const QImage covered(QString::fromStdString(app->screenshot("lookup-covered")));
  end_group(cover);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  const QImage uncovered(QString::fromStdString(app->screenshot("lookup-uncovered")));
  ASSERT_EQ(traced_at("\n" + app->trace(), "player put 1 ", "|ep2.mp4|"), std::string::npos) << "the lookup ended before the window was looked at; " << app->trace();
  EXPECT_LT(dark_share(covered, 40, 430, 200, 30), 0.5) << "the other window did not cover the bar";
  EXPECT_GT(dark_share(uncovered, 40, 430, 200, 30), 0.8) << "the bar was not drawn again";

  // The third episode plays in the end, after everything of the second.
  ASSERT_TRUE(app->wait_traced("|ep3.mp4|", 40)) << app->trace();
  const std::string t = "\n" + app->trace();
  const std::size_t first_lookup = [&] {
    std::size_t at = 0;
    for (int i = 0; i <= lookups; ++i) at = traced_at(t, searching, "", at + 1);
    return at;
  }();
  ASSERT_NE(first_lookup, std::string::npos);
  const std::size_t first_play = traced_at(t, "player put 1 ", "|ep2.mp4|", first_lookup);
  const std::size_t first_page =
      traced_at(t, "navigate Web4 ", "/box/pp.htm?1-1-1-", first_lookup);
  const std::size_t next_lookup = traced_at(t, searching, "", first_lookup + 1);
  const std::size_t next_play = traced_at(t, "player put 1 ", "|ep3.mp4|", first_lookup);
  ASSERT_NE(first_play, std::string::npos) << t;
  ASSERT_NE(first_page, std::string::npos) << t;
  ASSERT_NE(next_lookup, std::string::npos) << t;
  EXPECT_LT(first_play, first_page);
  EXPECT_LT(first_page, next_lookup) << t;
  EXPECT_LT(next_lookup, next_play) << t;
  // No status tick ran while the lookup waited.
  EXPECT_EQ(traced_at(t.substr(0, first_play), "zhun caption 播放中", "", first_lookup),
            std::string::npos)
      << t;
  EXPECT_EQ(traced_at(t.substr(0, first_play), "zhun caption 已暂停", "", first_lookup + 1),
            std::string::npos)
      << t;
}

// At the screen scale of a HiDPI desktop: the skin drawn at the scale, a
// click on an episode of the library lands on it, and the film's picture
// fills the scaled video area and nothing outside it.
class ScaledDesktop : public Desktop, public ::testing::WithParamInterface<double> {
 protected:
  static void SetUpTestSuite() { x_ = new Xvfb("2048x1152x24"); }
};

TEST_P(ScaledDesktop, TheSkinTheLinksAndTheVideoAreaFollowTheScale) {
  const double scale = GetParam();
  const auto px = [scale](double logical) { return static_cast<int>(logical * scale); };
  ASSERT_TRUE(start_server()) << server_->output();
  auto app = make_app();
  app->register_player();
  app->add_env("QT_SCALE_FACTOR=" + std::to_string(scale));
  app->start();
  ASSERT_TRUE(app->wait_traced("BA1 shown", 60)) << app->output();
  const std::string library = app->wait_last("page Web1 ", kFirstEpisode, 60);
  const auto episode = link_box(library, kFirstEpisode);
  ASSERT_TRUE(episode) << app->trace();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  {
    // The title bar's grey and the library beside it, across the whole
    // scaled window; the screen beyond it black.
    const QImage shot(QString::fromStdString(app->screenshot("scaled-library")));
    ASSERT_FALSE(shot.isNull());
    const int title = qGray(shot.pixel(px(300), px(10)));
    EXPECT_GT(title, 4) << "the title bar is not the skin's";
    EXPECT_LT(title, 90) << "the title bar is not the skin's";
    std::set<QRgb> colours;
    for (int y = px(40); y < px(420); y += 2)
      for (int x = px(480); x < px(920); x += 2) colours.insert(shot.pixel(x, y));
    EXPECT_GT(colours.size(), 200u) << "no library drawn";
    EXPECT_EQ(qGray(shot.pixel(px(960), px(500))), 0) << "the window is larger than its scale";
  }

  app->click(px(episode->cx()), px(episode->cy()));
  ASSERT_TRUE(app->wait_traced("player put 1 qvod://", 20)) << app->trace();
  ASSERT_TRUE(app->wait_traced("zhun caption 播放中(", 30)) << app->trace() << app->output();
  std::this_thread::sleep_for(std::chrono::seconds(2));
  expect_picture_in_video_area(app->screenshot("scaled-playing"), scale);
}

INSTANTIATE_TEST_SUITE_P(Scales, ScaledDesktop, ::testing::Values(2.0, 1.5),
                         [](const auto& info) { return info.param == 2.0 ? "Twice" : "OneAndAHalf"; });

}  // namespace
}  // namespace tav::test
