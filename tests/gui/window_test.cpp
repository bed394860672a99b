// The main window under a window manager (openbox), driven with the mouse
// and the keyboard as a user drives it: the close question answered with the
// mouse, the window dragged by its title strip and by its bottom border, the
// seek bar, the volume knob and the space key on a playing film, and the
// toolkit's file dialog in Chinese.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <algorithm>
#include <cstdio>
#include <sstream>

#include "desktop_fixture.h"

namespace tav::test {
namespace {

// The window stands at the screen's top-left corner, 949 × 480 pixels.
constexpr int kWindowWidth = 949;
constexpr int kWindowHeight = 480;
// The smallest height the window keeps (6000 twips).
constexpr int kMinHeight = 400;

// One episode: the film of a minute.
std::string film_catalogue() {
  return "series 1\nname 测试剧\nshelf library\nepisode 第1集 | " + Media::film() + " | qvod\n";
}

using Geometry = WindowGeometry;

class WindowSession : public ::testing::Test {
 protected:
  // An X server of the suite's own, with openbox on it or none.
  static void start_display(bool with_manager) {
    x_ = new Xvfb;
    manager_ = with_manager;
    if (!x_->ready() || !with_manager) return;
    wm_log_ = new TempDir;
    wm_ = launch({"/usr/bin/openbox", "--sm-disable"}, {"DISPLAY=" + x_->display()},
                 wm_log_->str(), wm_log_->file("openbox.txt"));
    // The window manager is up once it owns the screen's selection.
    wait_for([] { return x_output({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}).find("window id") !=
                         std::string::npos; },
             20);
  }
  static void TearDownTestSuite() {
    end_group(wm_);
    wm_ = -1;
    delete wm_log_;
    wm_log_ = nullptr;
    delete x_;
    x_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(x_->ready()) << "Xvfb did not start";
    if (manager_) {
      ASSERT_GT(wm_, 0);
    }
    server_ = std::make_unique<ServerProcess>(ServerProcess::later);
    server_->folder().write("catalogue.txt", film_catalogue());
  }
  void TearDown() override {
    if (app_) app_->stop();
    xdo({"mouseup", "1"});
  }

  // The library only, or a film playing.
  void start(bool play) {
    std::vector<std::string> args = {"--catalogue", "catalogue.txt", "--media",
                                     Media::get().folder()};
    if (play) args.insert(args.end(), {"--follow", kFirstEpisode});
    ASSERT_TRUE(server_->start(args)) << server_->output();
    app_ = std::make_unique<DesktopApp>(*x_, server_->origin());
    if (play) app_->register_player();
    app_->start();
    ASSERT_TRUE(app_->wait_traced("BA1 shown", 60)) << app_->output();
    ASSERT_TRUE(app_->wait_traced("Pic1 shown", 60)) << app_->trace();
    ASSERT_TRUE(wait_for([&] { return main_window() != 0; }, 20));
    // Where the window manager placed it, the window is put at the corner.
    xdo({"windowmove", std::to_string(main_window()), "0", "0"});
    ASSERT_TRUE(wait_for([&] { return geometry().x == 0 && geometry().y == 0; }, 10))
        << geometry().x << "," << geometry().y;
  }

  // Runs an X client on the test's display; returns its output.
  static std::string x_output(const std::vector<std::string>& argv) {
    std::string command = "DISPLAY=" + x_->display();
    for (const std::string& a : argv) command += " '" + a + "'";
    command += " 2>/dev/null";
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
      char buffer[512];
      while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
      pclose(p);
    }
    return out;
  }
  static void xdo(std::vector<std::string> argv) {
    argv.insert(argv.begin(), "xdotool");
    x_output(argv);
  }
  static void pause_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

  // The visible top-level window of a title.
  static unsigned long window_named(const std::string& title) {
    std::istringstream ids(x_output({"xdotool", "search", "--onlyvisible", "--name", title}));
    unsigned long id = 0;
    ids >> id;
    return id;
  }
  static unsigned long main_window() { return window_named("^Tavori"); }
  static Geometry geometry_of(unsigned long id) {
    if (!id) return {};
    return parse_window_geometry(x_output({"xdotool", "getwindowgeometry", "--shell", std::to_string(id)}));
  }
  static Geometry geometry() { return geometry_of(main_window()); }
  // A setting of config.ini ("key=value" under any section).
  std::string setting(const std::string& key) const {
    const std::string config = app_->file("config.ini");
    const std::size_t at = config.find("\r\n" + key + "=");
    if (at == std::string::npos) return "";
    const std::size_t from = at + key.size() + 3;
    return config.substr(from, config.find("\r\n", from) - from);
  }

  // A drag by the title strip ends where the button is released, slow or
  // so fast that the button is up before the move is under way; the window
  // does not follow the pointer afterwards.
  void drag_title_strip() {
    xdo({"mousemove", "300", "12"});
    pause_ms(200);
    xdo({"mousedown", "1"});
    pause_ms(200);
    for (int step = 1; step <= 5; ++step) {
      xdo({"mousemove", std::to_string(300 + step * 20), std::to_string(12 + step * 16)});
      pause_ms(60);
    }
    pause_ms(300);
    xdo({"mouseup", "1"});
    const auto near = [](const Geometry& g, int x, int y) {
      return std::abs(g.x - x) <= 2 && std::abs(g.y - y) <= 2;
    };
    EXPECT_TRUE(wait_for([&] { return near(geometry(), 100, 80); }, 5))
        << geometry().x << "," << geometry().y;
    pause_ms(300);
    const Geometry after = geometry();
    xdo({"mousemove", "700", "500"});
    pause_ms(300);
    xdo({"mousemove", "720", "560"});
    pause_ms(500);
    const Geometry later = geometry();
    EXPECT_EQ(later.x, after.x);
    EXPECT_EQ(later.y, after.y);

    xdo({"mousemove", "300", "92", "mousedown", "1", "mousemove", "350", "142", "mouseup", "1"});
    pause_ms(800);
    const Geometry fast = geometry();
    EXPECT_GE(fast.x, 0);
    EXPECT_GE(fast.y, 0);
    xdo({"mousemove", "900", "700"});
    pause_ms(500);
    xdo({"mousemove", "200", "300"});
    pause_ms(500);
    EXPECT_EQ(geometry().x, fast.x) << "the window follows the pointer without the button";
    EXPECT_EQ(geometry().y, fast.y);
  }

  static Xvfb* x_;
  static bool manager_;
  static TempDir* wm_log_;
  static pid_t wm_;
  std::unique_ptr<ServerProcess> server_;
  std::unique_ptr<DesktopApp> app_;
};

Xvfb* WindowSession::x_ = nullptr;
bool WindowSession::manager_ = false;
TempDir* WindowSession::wm_log_ = nullptr;
pid_t WindowSession::wm_ = -1;

class WindowUnderManager : public WindowSession {
 protected:
  static void SetUpTestSuite() { start_display(true); }
};

class WindowWithoutManager : public WindowSession {
 protected:
  static void SetUpTestSuite() { start_display(false); }
};

TEST_F(WindowUnderManager, TheCloseQuestionIsAnsweredWithTheMouse) {
  start(false);
  ASSERT_EQ(setting("ts"), "3");
  // The close button, pointed at first (its hover face), then clicked.
  const int close_x = kWindowWidth - 40 + 16, close_y = 10;
  const QRect close_button(kWindowWidth - 40, 0, 33, 20);
  const QImage normal_face =
      QImage(QString::fromStdString(app_->screenshot("window-before-close"))).copy(close_button);
  xdo({"mousemove", std::to_string(close_x - 2), std::to_string(close_y)});
  pause_ms(300);
  xdo({"mousemove", std::to_string(close_x), std::to_string(close_y)});
  pause_ms(300);
  xdo({"click", "1"});
  unsigned long box = 0;
  ASSERT_TRUE(wait_for([&] { return (box = window_named("^提示：$")) != 0; }, 10)) << app_->trace();
  pause_ms(500);
  const Geometry g = geometry_of(box);
  // 是 is the left of the two buttons at the bottom right, 否 the right.
  const QImage shot(QString::fromStdString(app_->screenshot("window-close-question")));
  ASSERT_FALSE(shot.isNull());
  // The pointer went to the box: the close button shows its normal face.
  EXPECT_EQ(shot.copy(close_button), normal_face) << "the close button keeps its hover face";
  // The buttons' row: the lowest row of the box that crosses exactly two
  // faces (runs of another colour than the box's, as wide as a button).
  const QRgb back = shot.pixel(g.x + 4, g.y + 4);
  std::vector<std::pair<int, int>> faces;
  int row = -1;
  for (int y = std::min(g.y + g.height, shot.height()) - 3; y > g.y && row < 0; --y) {
    std::vector<std::pair<int, int>> runs;
    int run_from = -1;
    for (int x = g.x + 2; x < g.x + g.width - 2; ++x) {
      const bool face = shot.pixel(x, y) != back;
      if (face && run_from < 0) run_from = x;
      if (!face && run_from >= 0) {
        runs.emplace_back(run_from, x);
        run_from = -1;
      }
    }
    std::erase_if(runs, [](const auto& r) { return r.second - r.first < 50 || r.second - r.first > 140; });
    if (runs.size() == 2) {
      faces = runs;
      row = y;
    }
  }
  ASSERT_EQ(faces.size(), 2u) << "the two buttons of the box were not found in " << g.x << ","
                              << g.y << " " << g.width << "x" << g.height;
  row -= 4;  // inside the face, off its border
  const int yes_x = (faces[0].first + faces[0].second) / 2;
  xdo({"mousemove", std::to_string(yes_x), std::to_string(row), "click", "1"});
  // Answered: the box goes, the choice is kept and the window leaves the
  // screen (to the tray, or to the task bar where no tray shows).
  EXPECT_TRUE(wait_for([&] { return window_named("^提示：$") == 0; }, 10)) << "the box is still open";
  EXPECT_TRUE(wait_for([&] { return main_window() == 0; }, 10)) << "the window is still shown";
  EXPECT_EQ(setting("ts"), "1");
  EXPECT_EQ(setting("quit"), "2");
}

TEST_F(WindowUnderManager, ADragByTheTitleStripEndsWhereTheButtonIsReleased) {
  start(false);
  drag_title_strip();
}

TEST_F(WindowUnderManager, TheBottomBorderStopsAtTheSmallestHeight) {
  start(false);
  ASSERT_EQ(geometry().height, kWindowHeight);
  xdo({"mousemove", "400", std::to_string(kWindowHeight - 1)});
  pause_ms(200);
  xdo({"mousedown", "1"});
  pause_ms(200);
  for (int y = kWindowHeight - 20; y >= 300; y -= 30) {
    xdo({"mousemove", "400", std::to_string(y)});
    pause_ms(60);
  }
  pause_ms(300);
  xdo({"mouseup", "1"});
  ASSERT_TRUE(wait_for([&] { return setting("h_h") == "6000"; }, 10)) << setting("h_h");
  EXPECT_TRUE(wait_for([&] { return geometry().height == kMinHeight; }, 5)) << geometry().height;
  pause_ms(500);
  EXPECT_EQ(geometry().height, kMinHeight);
  const QImage shot(QString::fromStdString(app_->screenshot("window-smallest-height")));
  // The control bar is drawn at the bottom of the window.
  int lit = 0;
  for (int x = 10; x < 450; ++x)
    if (qGray(shot.pixel(x, kMinHeight - 15)) > 30) ++lit;
  EXPECT_GT(lit, 20) << "the control bar is cut off";
}

// Positions on the control bar of a window 949 × 480 with the side bar.
constexpr int kSeekY = 28 + 410 + 4;
constexpr int kBarY = 461;
constexpr int kVolumeLeft = 309;         // the volume track, 60 pixels wide
constexpr int kKnobX = kVolumeLeft + 56;  // the knob at 100 %
constexpr int kOpenX = 417;
constexpr int kFullScreenX = 391;

TEST_F(WindowUnderManager, TheSeekBarVolumeKnobAndSpaceKeyDriveThePlayer) {
  start(true);
  ASSERT_TRUE(app_->wait_traced("zhun caption 播放中(", 60)) << app_->trace() << app_->output();
  pause_ms(1500);
  // A click at three quarters of the seek bar.
  const std::size_t before = app_->trace().size();
  app_->click(3 + 460 * 3 / 4, kSeekY);
  ASSERT_TRUE(wait_for([&] { return app_->trace().find("player put 10 ", before) != std::string::npos; }, 10))
      << app_->trace().substr(before);
  const std::string t = app_->trace().substr(before);
  const int target = std::atoi(t.c_str() + t.find("player put 10 ") + 14);
  EXPECT_GT(target, 40) << t;
  EXPECT_LT(target, 47) << t;
  pause_ms(1500);
  app_->screenshot("window-seeked");
  EXPECT_TRUE(app_->wait_traced_after("player put 10 ", "times caption 00:4", 10)) << app_->trace();

  // The volume knob, at the end of its track, dragged to the middle.
  const std::size_t before_volume = app_->trace().size();
  xdo({"mousemove", std::to_string(kKnobX), std::to_string(kBarY), "mousedown", "1"});
  for (int x = kKnobX - 6; x >= kVolumeLeft + 26; x -= 6) {
    xdo({"mousemove", std::to_string(x), std::to_string(kBarY)});
    pause_ms(50);
  }
  xdo({"mousemove", std::to_string(kVolumeLeft + 26), std::to_string(kBarY)});
  pause_ms(200);
  xdo({"mouseup", "1"});
  ASSERT_TRUE(wait_for([&] { return app_->trace().find("zhun caption 音量：50%", before_volume) != std::string::npos; }, 10))
      << app_->trace().substr(before_volume);
  EXPECT_NE(app_->trace().find("player put 6 50", before_volume), std::string::npos);
  app_->screenshot("window-volume");
  // A click on the filled part of the track (a label, measured in twips)
  // puts the knob there.
  const std::size_t before_fill = app_->trace().size();
  app_->click(kVolumeLeft + 13, kBarY);
  EXPECT_TRUE(wait_for([&] { return app_->trace().find("zhun caption 音量：25%", before_fill) != std::string::npos; }, 10))
      << app_->trace().substr(before_fill);

  // Space typed in a panel is the page's; on the window it pauses.
  const std::size_t before_keys = app_->trace().size();
  app_->click(700, 300);
  pause_ms(300);
  xdo({"key", "space"});
  pause_ms(1500);
  EXPECT_EQ(app_->trace().find("已暂停", before_keys), std::string::npos) << "a key typed in a page paused";
  app_->click(200, kBarY);
  pause_ms(300);
  xdo({"key", "space"});
  EXPECT_TRUE(wait_for([&] { return app_->trace().find("zhun caption 已暂停", before_keys) != std::string::npos; }, 10))
      << app_->trace().substr(before_keys);
}

// The player's full screen is a player's; afterwards the picture follows
// the window resized by its corner.
TEST_F(WindowUnderManager, FullScreenIsAPlayersAndThePictureFollowsTheWindowAfterwards) {
  start(true);
  ASSERT_TRUE(app_->wait_traced("zhun caption 播放中(", 60)) << app_->trace() << app_->output();
  pause_ms(1000);
  // A window of the program as large as the screen.
  const auto full_screen = [&] {
    std::istringstream ids(x_output({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(app_->pid())}));
    for (unsigned long id = 0; ids >> id;) {
      const Geometry g = geometry_of(id);
      if (g.width == 1366 && g.height == 768) return true;
    }
    return false;
  };
  expect_full_screen_is_a_players(*app_, "window", kFullScreenX, kBarY, full_screen);
  if (HasFatalFailure()) return;

  pause_ms(500);
  xdo({"mousemove", std::to_string(kWindowWidth - 2), std::to_string(kWindowHeight - 2)});
  pause_ms(200);
  xdo({"mousedown", "1"});
  pause_ms(200);
  for (int step = 1; step <= 6; ++step) {
    xdo({"mousemove", std::to_string(kWindowWidth - 2 + step * 40), std::to_string(kWindowHeight - 2 + step * 30)});
    pause_ms(60);
  }
  pause_ms(300);
  xdo({"mouseup", "1"});
  ASSERT_TRUE(wait_for([&] { return geometry().width >= kWindowWidth + 150; }, 10)) << geometry().width;
  pause_ms(1500);
  const Geometry g = geometry();
  expect_picture_in(app_->screenshot("window-resized-after-full-screen"), 3, 28, g.width - 492, g.height - 90);
}

// The toolkit's translations are loaded: its dialogs speak Chinese.
TEST_F(WindowUnderManager, TheOpenFileDialogSpeaksChinese) {
  start(false);
  app_->click(kOpenX, kBarY);
  unsigned long dialog = 0;
  ASSERT_TRUE(wait_for([&] { return (dialog = window_named("^选择播放文件$")) != 0; }, 10)) << app_->trace();
  pause_ms(1000);
  app_->screenshot("window-open-file");
  // The catalogue of the toolkit's Chinese texts is mapped into the program.
  std::string maps;
  for (const auto& e : std::filesystem::directory_iterator("/proc")) {
    std::error_code ec;
    if (std::filesystem::read_symlink(e.path() / "exe", ec) == app_->app_file("tavori"))
      maps += read_file((e.path() / "maps").string());
  }
  EXPECT_NE(maps.find("qtbase_zh_CN.qm"), std::string::npos);
  xdo({"key", "Escape"});
  EXPECT_TRUE(wait_for([&] { return window_named("^选择播放文件$") == 0; }, 10));
}

// Without a window manager the program moves the window itself.
TEST_F(WindowWithoutManager, ADragByTheTitleStripEndsWhereTheButtonIsReleased) {
  start(false);
  drag_title_strip();
}

// Full screen covers the whole screen, though nobody manages the window.
TEST_F(WindowWithoutManager, FullScreenCoversTheScreen) {
  start(true);
  ASSERT_TRUE(app_->wait_traced("zhun caption 播放中(", 60)) << app_->trace() << app_->output();
  pause_ms(1000);
  const auto lit = [](const QImage& shot, int x, int y) {
    const QRgb c = shot.pixel(x, y);
    return std::max({qRed(c), qGreen(c), qBlue(c)}) > 40;
  };
  const QImage before(QString::fromStdString(app_->screenshot("window-before-full-screen")));
  ASSERT_FALSE(lit(before, 683, 650));  // below the window: nothing
  app_->click(kFullScreenX, kBarY);
  ASSERT_TRUE(app_->wait_traced("player put 5 -1", 10)) << app_->trace();
  pause_ms(1500);
  const QImage full(QString::fromStdString(app_->screenshot("window-full-screen")));
  // The test picture, as tall as the screen, in the middle of it.
  int lit_rows = 0;
  for (int y = 5; y < 768; y += 20)
    if (lit(full, 683, y)) ++lit_rows;
  EXPECT_GE(lit_rows, 35) << "the video does not cover the screen";
}

}  // namespace
}  // namespace tav::test
