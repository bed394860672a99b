// What the desktop tests share: the clips, the catalogue, an X server with
// a window manager for each suite, a tavori-server for each test, and
// readers of the trace's page and menu lines.
#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "desktop_session.h"
#include "server_process.h"

namespace tav::test {

// Short clips with sound, made once for all tests.
class Media {
 public:
  static const Media& get() {
    static Media media;
    return media;
  }
  const std::string& folder() const { return folder_; }
  // A film of a minute (film.mp4 in the same folder), made at the first
  // call: long enough for a test that goes in and out of full screen.
  static const std::string& film() {
    static const std::string name = [] {
      const std::string out = get().folder() + "/film.mp4";
      const std::string command =
          "ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=160x120:rate=15:duration=60 "
          "-f lavfi -i sine=frequency=440:duration=60 -c:v libx264 -preset ultrafast "
          "-pix_fmt yuv420p -c:a aac -shortest -movflags +faststart '" + out + "'";
      if (std::system(command.c_str()) != 0) ADD_FAILURE() << "ffmpeg failed for film.mp4";
      return std::string("film.mp4");
    }();
    return name;
  }

 private:
  Media() {
    folder_ = dir_.file("media");
    std::filesystem::create_directories(folder_);
    for (const char* name : {"ep1.mp4", "ep2.mp4", "ep3.mp4"}) {
      const std::string out = folder_ + "/" + name;
      const std::string command =
          "ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=160x120:rate=15:duration=6 "
          "-f lavfi -i sine=frequency=440:duration=6 -c:v libx264 -preset ultrafast "
          "-pix_fmt yuv420p -c:a aac -shortest -movflags +faststart '" + out + "'";
      if (std::system(command.c_str()) != 0) ADD_FAILURE() << "ffmpeg failed for " << name;
    }
  }
  TempDir dir_;
  std::string folder_;
};

inline const char* const kCatalogue =
    "series 1\nname 测试剧\nshelf library\n"
    "episode 第1集 | ep1.mp4 | qvod\nepisode 第2集 | ep2.mp4 | qvod\nepisode 第3集 | ep3.mp4 | qvod\n";

// The film link the library page follows by itself in test mode.
inline const char* const kFirstEpisode = "eebovod://1-1-0-%u6D4B%u8BD5%u5267";

// A tavori-server, not started yet, with the test catalogue in its folder.
inline std::unique_ptr<ServerProcess> catalogue_server() {
  auto server = std::make_unique<ServerProcess>(ServerProcess::later);
  server->folder().write("catalogue.txt", kCatalogue);
  return server;
}
// Starts it on the catalogue and the test clips, logging every request,
// with args after.
inline bool start_catalogue_server(ServerProcess& server, const std::vector<std::string>& args) {
  std::vector<std::string> all = {"--catalogue", "catalogue.txt", "--media",
                                  Media::get().folder(), "--log", "pings.log", "--verbose"};
  all.insert(all.end(), args.begin(), args.end());
  return server.start(all);
}

class Desktop : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { x_ = new Xvfb; }
  static void TearDownTestSuite() {
    delete x_;
    x_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(x_->ready()) << "Xvfb or its window manager (openbox) did not start";
    server_ = catalogue_server();
  }
  bool start_server(std::vector<std::string> args = {}) { return start_catalogue_server(*server_, args); }
  std::unique_ptr<DesktopApp> make_app() {
    return std::make_unique<DesktopApp>(*x_, server_->origin());
  }

  static inline Xvfb* x_ = nullptr;
  std::unique_ptr<ServerProcess> server_;
};

// The same on a Wayland compositor (sway, with XWayland), one for each
// suite.
class WaylandDesktop : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { sway_ = new Sway; }
  static void TearDownTestSuite() {
    delete sway_;
    sway_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(sway_->ready()) << sway_->problem();
    server_ = catalogue_server();
  }
  bool start_server(std::vector<std::string> args = {}) { return start_catalogue_server(*server_, args); }
  // platform: "wayland" or "xcb" (under XWayland).
  std::unique_ptr<DesktopApp> make_app(const std::string& platform) {
    return std::make_unique<DesktopApp>(*sway_, server_->origin(), platform);
  }

  static inline Sway* sway_ = nullptr;
  std::unique_ptr<ServerProcess> server_;
};

// The film's picture in an area of a screenshot: the test clip's coloured
// bars over at least lit_share of it, not a dark, blank or one-coloured
// area (a picture shown elsewhere, or squeezed into a strip, leaves it
// dark).
inline void expect_picture_in(const std::string& png, int x, int y, int w, int h,
                              double lit_share = 0.5) {
  const QImage shot(QString::fromStdString(png));
  ASSERT_FALSE(shot.isNull()) << png;
  const QImage area = shot.copy(x, y, w, h);
  std::set<QRgb> colours;
  int lit = 0, samples = 0;
  for (int row = 0; row < area.height(); row += 4) {
    for (int col = 0; col < area.width(); col += 4) {
      const QRgb c = area.pixel(col, row);
      colours.insert(c & 0xF0F0F0);
      if (std::max({qRed(c), qGreen(c), qBlue(c)}) > 100) ++lit;
      ++samples;
    }
  }
  EXPECT_GT(lit, samples * lit_share) << png << ": the area " << x << "," << y << " " << w << "x" << h
                                      << " is mostly dark: no picture there";
  EXPECT_GT(colours.size(), 6u) << png << ": the area is of one colour: no picture";
}

// The seconds of the program's last time label.
inline int shown_seconds(const DesktopApp& app) {
  int m = 0, s = 0;
  std::sscanf(app.last_traced("times caption ").c_str(), "times caption %d:%d", &m, &s);
  return m * 60 + s;
}

// The player's bar of full screen on a 1366 × 768 screen: the 40 rows at
// its bottom are of the bar's dark grey from one side to the other.
inline bool full_screen_bar_shown(const std::string& png) {
  const QImage shot(QString::fromStdString(png));
  int bar = 0, samples = 0;
  for (int y = shot.height() - 36; y < shot.height() - 4; y += 8)
    for (int x = 0; x < shot.width(); x += 16, ++samples)
      if (std::abs(qRed(shot.pixel(x, y)) - 0x15) < 6 && std::abs(qBlue(shot.pixel(x, y)) - 0x15) < 6) ++bar;
  return bar > samples * 3 / 4;
}

// The player's full screen, entered with the full-screen button at
// button_x, bar_y of the window (at the screen's top-left corner, with a
// film of a minute playing), is a player's: Space pauses and plays, Right
// and Left seek, Down lowers the volume (one Up on the window afterwards
// shows it), a move of the mouse shows the bar for two seconds, a
// double-click leaves full screen and one on the picture in the window
// enters it again, and Esc leaves it. full_screen: whether the player's
// full screen is on the screen.
inline void expect_full_screen_is_a_players(const DesktopApp& app, const std::string& name, int button_x,
                                            int bar_y, const std::function<bool()>& full_screen) {
  const auto pause_ms = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
  const auto traced_since = [&](std::size_t from, const std::string& part) {
    return wait_for([&] { return app.trace().find(part, from) != std::string::npos; }, 10);
  };
  pause_ms(500);
  app.click(button_x, bar_y);
  ASSERT_TRUE(app.wait_traced("player put 5 -1", 10)) << app.trace();
  ASSERT_TRUE(wait_for(full_screen, 10)) << "no full screen";
  pause_ms(1000);
  std::size_t before = app.trace().size();
  app.key("space");
  EXPECT_TRUE(traced_since(before, "zhun caption 已暂停")) << "Space does not pause in full screen";
  before = app.trace().size();
  app.key("space");
  EXPECT_TRUE(traced_since(before, "zhun caption 播放中(")) << "Space does not play in full screen";
  const int at = shown_seconds(app);
  app.key("Right");
  EXPECT_TRUE(wait_for([&] { return shown_seconds(app) >= at + 9; }, 10))
      << "Right does not seek in full screen: " << at << " then " << shown_seconds(app);
  const int ahead = shown_seconds(app);
  app.key("Left");
  EXPECT_TRUE(wait_for([&] { return shown_seconds(app) <= ahead - 7; }, 10))
      << "Left does not seek back in full screen: " << ahead << " then " << shown_seconds(app);
  app.key("Down");
  app.key("Down");
  app.point(600, 400);
  pause_ms(100);
  app.point(640, 420);
  pause_ms(600);
  EXPECT_TRUE(full_screen_bar_shown(app.screenshot(name + "-full-screen-bar"))) << "no bar after a move of the mouse";
  pause_ms(3000);
  EXPECT_FALSE(full_screen_bar_shown(app.screenshot(name + "-full-screen"))) << "the bar stays";
  app.double_click(683, 300);
  ASSERT_TRUE(wait_for([&] { return !full_screen(); }, 10)) << "a double-click does not leave full screen";
  pause_ms(800);
  app.double_click(200, 200);
  ASSERT_TRUE(wait_for(full_screen, 10)) << "a double-click on the picture does not enter full screen: "
                                         << app.screenshot(name + "-double-click");
  pause_ms(800);
  app.key("Escape");
  ASSERT_TRUE(wait_for([&] { return !full_screen(); }, 10)) << "Esc does not leave full screen";
  pause_ms(800);
  app.click(200, bar_y);
  pause_ms(300);
  before = app.trace().size();
  app.key("Up");
  EXPECT_TRUE(traced_since(before, "zhun caption 音量：90%")) << app.trace().substr(before);
}

// A box on the screen.
struct Box {
  int x = 0, y = 0, w = 0, h = 0;
  int cx() const { return x + w / 2; }
  int cy() const { return y + h / 2; }
};

// From a trace line
// "page <panel> at X,Y WxH scrolled X,Y <charset> | <text> | <links>":
// the screen box of the first visible link whose address is href.
inline std::optional<Box> link_box(const std::string& page_line, const std::string& href) {
  Box panel;
  const std::size_t at = page_line.find(" at ");
  if (at == std::string::npos ||
      std::sscanf(page_line.c_str() + at, " at %d,%d %dx%d", &panel.x, &panel.y, &panel.w, &panel.h) != 4)
    return std::nullopt;
  const std::string key = " " + href + " ";
  const std::size_t links = page_line.rfind(" |");
  const std::size_t found = page_line.find(key, links == std::string::npos ? 0 : links);
  if (found == std::string::npos) return std::nullopt;
  Box b;
  if (std::sscanf(page_line.c_str() + found + key.size(), "%d,%d,%d,%d", &b.x, &b.y, &b.w, &b.h) != 4)
    return std::nullopt;
  b.x += panel.x;
  b.y += panel.y;
  return b;
}

// What a page line says the page shows: "<charset> | <text>".
inline std::string page_text(const std::string& page_line) {
  const std::size_t scrolled = page_line.find(" scrolled ");
  const std::size_t charset = scrolled == std::string::npos ? scrolled : page_line.find(' ', scrolled + 10);
  const std::size_t last = page_line.rfind(" |");
  if (charset == std::string::npos || last == std::string::npos || last <= charset) return {};
  return page_line.substr(charset + 1, last - charset - 1);
}

// How far a page line says the page is scrolled down.
inline int page_scroll_y(const std::string& page_line) {
  int x = 0, y = 0;
  const std::size_t scrolled = page_line.find(" scrolled ");
  if (scrolled == std::string::npos || std::sscanf(page_line.c_str() + scrolled, " scrolled %d,%d", &x, &y) != 2)
    return -1;
  return y;
}

// From a trace line "menu <name> shown | <caption> on|off X,Y,W,H | ...":
// whether the item is enabled and its box; nothing when it is not there.
struct MenuItemSeen {
  bool enabled = false;
  Box box;
};
inline std::optional<MenuItemSeen> menu_item(const std::string& menu_line, const std::string& caption) {
  const std::string key = "| " + caption + " ";
  const std::size_t found = menu_line.find(key);
  if (found == std::string::npos) return std::nullopt;
  MenuItemSeen item;
  const char* rest = menu_line.c_str() + found + key.size();
  item.enabled = std::string(rest, 3) == "on ";
  rest += item.enabled ? 3 : 4;
  if (std::sscanf(rest, "%d,%d,%d,%d", &item.box.x, &item.box.y, &item.box.w, &item.box.h) != 4)
    return std::nullopt;
  return item;
}

}  // namespace tav::test
