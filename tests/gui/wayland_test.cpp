// The desktop client under a Wayland compositor (sway), once on the
// toolkit's own Wayland platform and once as an X11 program under
// XWayland, driven with a pointer and a keyboard of the compositor's: the
// library, a film with its picture inside the video area, the keys, the
// player's full screen, the window moved and resized, minimise, and the
// tray icon's menu in sway's bar.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdio>

#include "desktop_fixture.h"

namespace tav::test {
namespace {

// The main window floats at the top-left corner, 949 × 480 pixels; the
// player's video area stands at 3,28 in it, 492 pixels narrower and 90
// lower than the window.
constexpr int kWindowWidth = 949;
constexpr int kWindowHeight = 480;
constexpr int kBarY = 461;
constexpr int kFullScreenX = 391;

class WaylandSession : public WaylandDesktop {
 protected:
  void TearDown() override {
    if (app_) app_->stop();
  }

  // The program with a film playing on the platform.
  void start(const std::string& platform) {
    server_->folder().write("catalogue.txt", "series 1\nname 测试剧\nshelf library\nepisode 第1集 | " +
                                                 Media::film() + " | qvod\n");
    ASSERT_TRUE(start_server({"--follow", kFirstEpisode})) << server_->output();
    app_ = make_app(platform);
    app_->register_player();
    app_->start();
    ASSERT_TRUE(app_->wait_traced("BA1 shown", 60)) << app_->output();
    // The library loads, and the film the test server follows in it plays.
    ASSERT_TRUE(app_->wait_traced("Pic1 shown", 60)) << app_->trace();
    app_->screenshot((platform == "xcb" ? "xwayland" : platform) + "-library");
    ASSERT_TRUE(app_->wait_traced("zhun caption 播放中(", 60)) << app_->trace() << app_->output();
    ASSERT_TRUE(wait_for([&] { return main_view().width == kWindowWidth; }, 10)) << views_text();
    pause_ms(1500);
  }

  Sway::View main_view() const {
    for (const Sway::View& v : sway_->views())
      if (v.title == "Tavori 1.0") return v;
    return {};
  }
  std::string views_text() const {
    std::string text;
    for (const Sway::View& v : sway_->views())
      text += v.title + " " + std::to_string(v.x) + "," + std::to_string(v.y) + " " +
              std::to_string(v.width) + "x" + std::to_string(v.height) +
              (v.floating ? " floating" : "") + (v.full_screen ? " full screen" : "") + "\n";
    return text;
  }
  bool full_screen_shown() const {
    for (const Sway::View& v : sway_->views())
      if (v.full_screen && v.pid == app_->pid()) return true;
    return false;
  }
  static void pause_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  void drag(int from_x, int from_y, int to_x, int to_y) const {
    app_->point(from_x, from_y);
    pause_ms(200);
    sway_->input("press 1");
    pause_ms(200);
    // A first small step: the window is moved from where the pointer is
    // when the compositor hears of the move (a Wayland window cannot make
    // up for the steps before).
    app_->point(from_x + 1, from_y + 1);
    pause_ms(200);
    for (int step = 1; step <= 6; ++step) {
      app_->point(from_x + (to_x - from_x) * step / 6, from_y + (to_y - from_y) * step / 6);
      pause_ms(60);
    }
    pause_ms(300);
    sway_->input("release 1");
  }
  // What both platforms are tried for: the picture in its place, the keys,
  // the player's full screen and its bar, the window resized by its corner
  // after full screen and moved by its title strip.
  void play_resize_and_move(const std::string& name) {
    const std::string playing = app_->screenshot(name + "-playing");
    expect_picture_in(playing, 3, 28, kWindowWidth - 492, kWindowHeight - 90);
    for (const Sway::View& v : sway_->views())
      EXPECT_EQ(v.title.find("mpv"), std::string::npos) << "the film opened in a window of its own:\n"
                                                         << views_text();
    // Nothing of the picture above the video area (the title strip).
    const QImage shot(QString::fromStdString(playing));
    int coloured = 0;
    for (int x = 150; x < 450; x += 3) {
      const QRgb c = shot.pixel(x, 12);
      if (std::max({qRed(c), qGreen(c), qBlue(c)}) - std::min({qRed(c), qGreen(c), qBlue(c)}) > 80) ++coloured;
    }
    EXPECT_LT(coloured, 5) << "the picture covers the title strip";

    // The keys reach the window: Space on the window pauses and plays.
    app_->click(200, kBarY);
    pause_ms(300);
    std::size_t before = app_->trace().size();
    app_->key("space");
    ASSERT_TRUE(wait_for([&] { return app_->trace().find("zhun caption 已暂停", before) != std::string::npos; }, 10))
        << app_->trace().substr(before);
    app_->key("space");
    ASSERT_TRUE(app_->wait_traced_after("zhun caption 已暂停", "zhun caption 播放中(", 10)) << app_->trace();

    // The player's full screen is a player's.
    expect_full_screen_is_a_players(*app_, name, kFullScreenX, kBarY, [&] { return full_screen_shown(); });
    if (HasFatalFailure()) return;

    // Resized by its bottom-right corner, the window lays the picture out
    // in the larger video area.
    pause_ms(500);
    // (The corner's last pixel lies outside the window's rounded region.)
    drag(kWindowWidth - 3, kWindowHeight - 3, kWindowWidth + 197, kWindowHeight + 147);
    ASSERT_TRUE(wait_for([&] { return main_view().width >= kWindowWidth + 150; }, 10)) << views_text();
    pause_ms(1500);
    const Sway::View grown = main_view();
    EXPECT_GE(grown.height, kWindowHeight + 100) << views_text();
    expect_picture_in(app_->screenshot(name + "-resized"), grown.x + 3, grown.y + 28, grown.width - 492,
                      grown.height - 90);

    // Moved by its title strip.
    drag(300, 12, 400, 92);
    EXPECT_TRUE(wait_for([&] { return std::abs(main_view().x - 100) <= 3 && std::abs(main_view().y - 80) <= 3; }, 10))
        << views_text();
    pause_ms(1000);
    const Sway::View moved = main_view();
    expect_picture_in(app_->screenshot(name + "-moved"), moved.x + 3, moved.y + 28, moved.width - 492,
                      moved.height - 90);
    EXPECT_EQ(app_->output().find("grabbing the mouse only for popup"), std::string::npos) << app_->output();
  }

  // The middle of the program's icon in the bar's tray, at the bar's right
  // end: where the bar's last lit pixels are.
  std::pair<int, int> tray_icon() const {
    std::pair<int, int> at{-1, -1};
    wait_for([&] {
      const QImage shot(QString::fromStdString(app_->screenshot("wayland-bar")));
      int left = Sway::kWidth, right = -1;
      for (int y = Sway::kHeight - 20; y < Sway::kHeight - 4; ++y)
        for (int x = Sway::kWidth - 80; x < Sway::kWidth; ++x)
          if (qGray(shot.pixel(x, y)) > 60) left = std::min(left, x), right = std::max(right, x);
      if (right < 0) return false;
      at = {(left + right) / 2, Sway::kHeight - 12};
      return true;
    }, 20);
    return at;
  }
  // The menu stands where sway says, in the menu's dark grey with its
  // light captions.
  static void expect_menu_drawn(const std::string& png, const Sway::View& menu) {
    const QImage shot(QString::fromStdString(png));
    int dark = 0, light = 0;
    for (int y = menu.y + 2; y < menu.y + menu.height - 2; y += 2)
      for (int x = menu.x + 2; x < menu.x + menu.width - 2; x += 2) {
        const int g = qGray(shot.pixel(x, y));
        if (g < 40) ++dark;
        if (g > 120) ++light;
      }
    EXPECT_GT(dark, 100) << png << ": no menu drawn there";
    EXPECT_GT(light, 20) << png << ": a menu without captions";
  }
  std::optional<Sway::View> menu_view() const {
    for (const Sway::View& v : sway_->views())
      if (v.title == "r_m") return v;
    return std::nullopt;
  }

  std::unique_ptr<DesktopApp> app_;
};

TEST_F(WaylandSession, OnTheToolkitsWaylandPlatform) {
  start("wayland");
  play_resize_and_move("wayland");

  // Minimised, which sway ignores: the episode list stays drawn.
  const Sway::View v = main_view();
  const std::string before_minimise = app_->screenshot("wayland-before-minimise");
  // The button's own tooltip shows while the pointer is on it.
  const int tips = app_->traced_count("p1 shown");
  app_->point(v.x + v.width - 80, v.y + 10);
  pause_ms(100);
  app_->point(v.x + v.width - 78, v.y + 10);
  ASSERT_TRUE(wait_for([&] { return app_->traced_count("p1 shown") > tips; }, 10)) << app_->trace();
  EXPECT_EQ(app_->last_traced("bo_tip caption "), "bo_tip caption 最小化");
  app_->click(v.x + v.width - 78, v.y + 10);
  pause_ms(1500);
  const QImage was(QString::fromStdString(before_minimise));
  const QImage now(QString::fromStdString(app_->screenshot("wayland-minimised")));
  // The list's page: the row of the episode, lit before and after.
  const auto page_lit = [&](const QImage& shot) {
    int lit = 0;
    for (int y = v.y + 60; y < v.y + 220; y += 2)
      for (int x = v.x + v.width - 370; x < v.x + v.width - 30; x += 2)
        if (qGray(shot.pixel(x, y)) > 80) ++lit;
    return lit;
  };
  ASSERT_GT(page_lit(was), 100) << "no episode list before";
  EXPECT_GT(page_lit(now), page_lit(was) / 2) << "the episode list went blank";

  // The tray icon's menu: a small window of its own that sway floats, with
  // the window shown and with it hidden; an item chosen with the pointer.
  const auto [ix, iy] = tray_icon();
  ASSERT_GE(ix, 0) << "no icon in the bar's tray";
  app_->right_click(ix, iy);
  ASSERT_TRUE(app_->wait_traced("menu r_m shown", 10)) << app_->trace();
  ASSERT_TRUE(wait_for([&] { return menu_view().has_value(); }, 10)) << views_text();
  EXPECT_TRUE(menu_view()->floating) << views_text();
  EXPECT_LT(menu_view()->width, 300) << views_text();
  pause_ms(500);
  expect_menu_drawn(app_->screenshot("wayland-tray-menu"), *menu_view());
  app_->key("Escape");
  ASSERT_TRUE(app_->wait_traced("menu r_m closed", 10)) << app_->trace();

  app_->click(ix, iy);
  ASSERT_TRUE(app_->wait_traced("BA1 hidden", 10)) << app_->trace();
  const int shown = app_->traced_count("menu r_m shown");
  app_->right_click(ix, iy);
  ASSERT_TRUE(wait_for([&] { return app_->traced_count("menu r_m shown") > shown; }, 10)) << app_->trace();
  ASSERT_TRUE(wait_for([&] { return menu_view().has_value(); }, 10)) << views_text();
  const Sway::View menu = *menu_view();
  EXPECT_TRUE(menu.floating) << "the menu of a hidden window is laid out as a window:\n" << views_text();
  EXPECT_LT(menu.width, 300) << views_text();
  EXPECT_LT(menu.height, 300) << views_text();
  pause_ms(500);
  expect_menu_drawn(app_->screenshot("wayland-tray-menu-hidden-window"), menu);
  // The item's box inside the menu, from the trace, on the menu's place.
  const auto item = menu_item(app_->last_traced("menu r_m shown"), "关于我们");
  ASSERT_TRUE(item);
  app_->point(menu.x + item->box.cx() - 5, menu.y + item->box.cy());
  pause_ms(200);
  app_->click(menu.x + item->box.cx(), menu.y + item->box.cy());
  ASSERT_TRUE(app_->wait_traced("menu r_m chose about", 10)) << app_->trace();
  EXPECT_TRUE(app_->wait_traced("BA3 shown", 10)) << app_->trace();
  EXPECT_TRUE(app_->wait_traced_after("BA1 hidden", "BA1 shown", 10)) << app_->trace();
}

TEST_F(WaylandSession, AsAnX11ProgramUnderXWayland) {
  start("xcb");
  play_resize_and_move("xwayland");
}

}  // namespace
}  // namespace tav::test
