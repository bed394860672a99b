// The version file's question and the advertisement windows in tavori under
// Xvfb and openbox: the question answered with the mouse, the floating
// window at the lower right of the screen with its close picture and its
// link, and the notice window on the way out.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "desktop_fixture.h"

namespace tav::test {
namespace {

// Settings of a user who quits with the close button.
constexpr const char* kQuitOnClose = "[S_q]\r\nts=1\r\nquit=1\r\n";
// The floating window waits this long once the version file turned it on.
constexpr const char* kShortAdDelay = "--floating-ad-delay=1500";

// A window's box on the screen, without the window manager's frame.
struct Placed {
  std::string id;
  int x = 0, y = 0, w = 0, h = 0;
};

class AdsDesktop : public Desktop {
 protected:
  void TearDown() override {
    if (app_) app_->stop();
  }

  std::string x(const std::string& command) const {
    return x_query(x_->display(), command);
  }
  // Starts the server with a version file made of these switches, and the
  // program against it.
  void start(const std::vector<std::string>& version_file) {
    ASSERT_TRUE(start_server(version_file)) << server_->output();
    app_ = make_app();
    app_->register_player();
    // The desktop's browser: a script that writes down what it was given.
    opened_ = app_->app_file("opened.txt");
    app_->write_app_file("xdg-open", "#!/bin/sh\necho \"$@\" >> '" + opened_ + "'\n");
    std::filesystem::permissions(app_->app_file("xdg-open"), std::filesystem::perms::owner_all);
    app_->write_app_file("config.ini", kQuitOnClose);
    app_->start({kShortAdDelay});
    ASSERT_TRUE(app_->wait_traced("BA1 shown", 60)) << app_->output();
  }
  std::string opened() const { return read_file(opened_); }

  static int number_after(const std::string& text, const std::string& key) {
    const std::size_t at = text.find(key);
    return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + key.size());
  }
  Placed placed(const std::string& id) const {
    const std::string info = x("xwininfo -id " + id);
    return {id, number_after(info, "Absolute upper-left X:"), number_after(info, "Absolute upper-left Y:"),
            number_after(info, "Width:"), number_after(info, "Height:")};
  }
  std::pair<int, int> screen_size() const {
    const std::string info = x("xwininfo -root");
    return {number_after(info, "Width:"), number_after(info, "Height:")};
  }
  // The program's visible window of that size, once there is one.
  std::optional<Placed> window_sized(int w, int h, double seconds = 20) const {
    std::optional<Placed> found;
    wait_for([&] {
      std::istringstream ids(x("xdotool search --onlyvisible --pid " + std::to_string(app_->pid())));
      for (std::string id; std::getline(ids, id);) {
        const Placed p = placed(id);
        if (p.w == w && p.h == h) {
          found = p;
          return true;
        }
      }
      return false;
    }, seconds);
    return found;
  }
  bool shown(const std::string& id) const {
    std::istringstream ids(x("xdotool search --onlyvisible --pid " + std::to_string(app_->pid())));
    for (std::string line; std::getline(ids, line);)
      if (line == id) return true;
    return false;
  }
  std::string net_state(const std::string& id) const { return x("xprop -id " + id + " _NET_WM_STATE"); }
  // Waits for the program to end; its exit status, or nothing when it runs on.
  std::optional<int> ended_within(double seconds) const {
    int status = 0;
    const bool ended = wait_for([&] { return waitpid(app_->pid(), &status, WNOHANG) == app_->pid(); }, seconds);
    if (!ended) return std::nullopt;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  // Clicks the main window's close button.
  void quit_with_the_close_button() {
    const std::string id = first_line(app_->windows_titled("Tavori 1.0"));
    ASSERT_FALSE(id.empty()) << "no main window";
    const Placed main = placed(id);
    app_->click(main.x + main.w - 40 + 16, main.y + 10);
  }
  static std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

  // The floating window stands 80 twips (5 to 6 pixels) from the right of
  // the screen and 450 twips (30 pixels) above its bottom, above the other
  // windows, without a frame, and leaves the keyboard to the main window.
  Placed floating_window_checked() {
    EXPECT_TRUE(app_->wait_traced("adsb shown", 30)) << app_->trace();
    const std::optional<Placed> ad = window_sized(300, 250);
    if (!ad) {
      ADD_FAILURE() << "no 300x250 window";
      return {};
    }
    const auto [width, height] = screen_size();
    const int right_gap = width - (ad->x + ad->w), bottom_gap = height - (ad->y + ad->h);
    EXPECT_GE(right_gap, 5) << ad->x << " on a screen " << width << " wide";
    EXPECT_LE(right_gap, 6) << ad->x << " on a screen " << width << " wide";
    EXPECT_EQ(bottom_gap, 30) << ad->y << " on a screen " << height << " high";
    EXPECT_NE(net_state(ad->id).find("_NET_WM_STATE_ABOVE"), std::string::npos) << net_state(ad->id);
    const std::string frame = x("xprop -id " + ad->id + " _NET_FRAME_EXTENTS");
    EXPECT_TRUE(frame.find("not found") != std::string::npos || frame.find("= 0, 0, 0, 0") != std::string::npos)
        << frame;
    EXPECT_NE(first_line(x("xdotool getactivewindow")), ad->id) << "the advertisement took the keyboard";
    return *ad;
  }

  std::unique_ptr<DesktopApp> app_;
  std::string opened_;
};

// The question of a newer version, six seconds after start.
class UpdateQuestion : public AdsDesktop {};

TEST_F(UpdateQuestion, AnsweredNoWithTheMouseLetsTheProgramGoOnToTheFloatingWindow) {
  start({"--wen-version", "1.1", "--wen-float", "1"});
  const std::string question = app_->wait_last("msgbox shown", "Tavori提示：", 30);
  ASSERT_NE(question.find("msgbox shown Tavori提示： | 检测到最新版本 1.1 ,你需要现在升级吗？"),
            std::string::npos)
      << app_->trace();
  std::string box;
  ASSERT_TRUE(wait_for([&] { return !(box = first_line(app_->windows_titled("Tavori提示："))).empty(); }, 10));
  // A modal box with the window manager's frame and title.
  EXPECT_NE(net_state(box).find("_NET_WM_STATE_MODAL"), std::string::npos) << net_state(box);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // drawn
  app_->screenshot("update-question");
  const auto no = menu_item(question, "否(&N)");
  ASSERT_TRUE(no) << question;
  const Placed at = placed(box);
  app_->click(at.x + no->box.cx(), at.y + no->box.cy());
  ASSERT_TRUE(app_->wait_traced("msgbox answered no", 10)) << app_->trace();
  EXPECT_TRUE(wait_for([&] { return app_->windows_titled("Tavori提示：").empty(); }, 10));

  // The program goes on: no updater, and the floating window comes.
  const Placed ad = floating_window_checked();
  ASSERT_FALSE(ad.id.empty());
  EXPECT_TRUE(app_->running());
  EXPECT_FALSE(app_->windows_titled("Tavori 1.0").empty()) << "the main window went";
  EXPECT_EQ(opened(), "");
  app_->wait_last("page Web1", "新剧抢先看", 20);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  app_->screenshot("ads-floating");

  // Its close picture (11 x 11, 18 from the right, 8 from the top) closes it.
  app_->click(ad.x + ad.w - 18 + 5, ad.y + 8 + 5);
  EXPECT_TRUE(wait_for([&] { return !shown(ad.id); }, 10)) << "the floating window stays";
  EXPECT_TRUE(app_->running());
  EXPECT_FALSE(app_->windows_titled("Tavori 1.0").empty()) << "the main window went";
}

TEST_F(UpdateQuestion, AnsweredYesOpensTheUpdaterAndQuitsWithoutTheNotice) {
  start({"--wen-version", "1.1", "--wen-exit", "1"});
  const std::string question = app_->wait_last("msgbox shown", "Tavori提示：", 30);
  const auto yes = menu_item(question, "是(&Y)");
  ASSERT_TRUE(yes) << app_->trace();
  std::string box;
  ASSERT_TRUE(wait_for([&] { return !(box = first_line(app_->windows_titled("Tavori提示："))).empty(); }, 10));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const Placed at = placed(box);
  app_->click(at.x + yes->box.cx(), at.y + yes->box.cy());
  // No local updater: the desktop's browser downloads it.
  EXPECT_TRUE(wait_for([&] { return opened().find(server_->base() + "update/update.exe") != std::string::npos; }, 10))
      << opened();
  const std::optional<int> status = ended_within(30);
  ASSERT_TRUE(status) << "the program runs on";
  EXPECT_EQ(*status, 0);
  EXPECT_FALSE(app_->traced("ba4 shown"));
}

// The notice window on the way out: centred on the screen, the rest of the
// program gone; after 20 s the program has ended.
class NoticeWindow : public AdsDesktop {
 protected:
  Placed quit_to_the_notice() {
    // The version file has been read once the advertisement strip shows.
    EXPECT_TRUE(app_->wait_traced("ad_huan shown", 30)) << app_->trace();
    quit_with_the_close_button();
    EXPECT_TRUE(app_->wait_traced("ba4 shown", 10)) << app_->trace();
    const std::optional<Placed> notice = window_sized(300, 250);
    if (!notice) {
      ADD_FAILURE() << "no notice window";
      return {};
    }
    const auto [width, height] = screen_size();
    EXPECT_LE(std::abs(2 * notice->x + notice->w - width), 2) << notice->x;
    EXPECT_LE(std::abs(2 * notice->y + notice->h - height), 2) << notice->y;
    EXPECT_EQ(x("xdotool getwindowname " + notice->id), "推荐\n");
    EXPECT_TRUE(wait_for([&] { return app_->windows_titled("Tavori 1.0").empty(); }, 10)) << "the main window stays";
    return *notice;
  }
};

TEST_F(NoticeWindow, ShowsCentredWhenTheProgramQuitsAndEndsItAfterTwentySeconds) {
  start({"--wen-exit", "1", "--wen-strip", "1"});
  const auto shown_at = std::chrono::steady_clock::now();
  const Placed notice = quit_to_the_notice();
  ASSERT_FALSE(notice.id.empty());
  app_->wait_last("page Web1", "今日推荐", 20);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  app_->screenshot("ads-notice");
  const std::optional<int> status = ended_within(40);
  ASSERT_TRUE(status) << "the program still runs";
  EXPECT_EQ(*status, 0);
  EXPECT_GE(std::chrono::steady_clock::now() - shown_at, std::chrono::seconds(15)) << "ended early";
}

TEST_F(NoticeWindow, ClosedByItsButtonEndsTheProgramAtOnceWhileANewStartRunsOnItsOwn) {
  start({"--wen-exit", "1", "--wen-strip", "1"});
  const Placed notice = quit_to_the_notice();
  ASSERT_FALSE(notice.id.empty());
  app_->wait_last("page Web1", "今日推荐", 20);
  // The program started again meanwhile is a program of its own: its
  // window comes, and stays when the notice goes.
  const pid_t again = app_->start_another({}, "again.txt");
  const std::string again_trace = app_->app_file("../again.txt");
  const bool again_shown = wait_for([&] { return read_file(again_trace).find("BA1 shown") != std::string::npos; }, 60);
  // The new window came over it: the notice to the front, then its 关闭
  // (51 x 21, 55 from the right, 5 from the top).
  x("xdotool windowactivate --sync " + notice.id);
  x("xdotool windowraise " + notice.id);
  app_->click(notice.x + notice.w - 55 + 25, notice.y + 5 + 10);
  const std::optional<int> status = ended_within(10);
  const bool again_runs = waitpid(again, nullptr, WNOHANG) == 0;
  end_group(again);
  ASSERT_TRUE(status) << "the program still runs";
  EXPECT_EQ(*status, 0);
  EXPECT_TRUE(again_shown) << read_file(again_trace);
  EXPECT_TRUE(again_runs);
}

TEST_F(NoticeWindow, ClosedFromTheWindowManagerEndsTheProgramAtOnce) {
  start({"--wen-exit", "1", "--wen-strip", "1"});
  const Placed notice = quit_to_the_notice();
  ASSERT_FALSE(notice.id.empty());
  // The window manager takes Alt+F4 for the window that has the focus; on
  // a busy machine the focus may not have come yet, so the key is pressed
  // again as a user would.
  std::optional<int> status;
  for (int attempt = 0; attempt < 3 && !status; ++attempt) {
    x("xdotool windowactivate --sync " + notice.id);
    x("xdotool key --clearmodifiers alt+F4");
    status = ended_within(5);
  }
  ASSERT_TRUE(status) << "the program still runs";
  EXPECT_EQ(*status, 0);
}

TEST_F(NoticeWindow, ItsLinkOpensInTheBrowserAndEndsTheProgram) {
  start({"--wen-exit", "1", "--wen-strip", "1"});
  ASSERT_FALSE(quit_to_the_notice().id.empty());
  const std::string page = app_->wait_last("page Web1", "今日推荐", 20);
  const auto link = link_box(page, "/box/yy");
  ASSERT_TRUE(link) << page;
  app_->click(link->cx(), link->cy());
  const std::optional<int> status = ended_within(10);
  ASSERT_TRUE(status) << "the program still runs";
  EXPECT_EQ(*status, 0);
  // The page went to the browser on the program's way out.
  EXPECT_NE(opened().find(server_->base() + "yy"), std::string::npos) << opened();
}

// On a smaller screen the floating window keeps to its corner; its link
// opens in the desktop's browser and closes it.
class AdsOnASmallScreen : public AdsDesktop {
 protected:
  static void SetUpTestSuite() { x_ = new Xvfb("1024x600x24"); }
};

TEST_F(AdsOnASmallScreen, TheFloatingWindowKeepsToTheCornerAndItsLinkOpensInTheBrowser) {
  start({"--wen-float", "1"});
  const Placed ad = floating_window_checked();
  ASSERT_FALSE(ad.id.empty());
  const std::string page = app_->wait_last("page Web1", "/box/yy", 20);
  const auto link = link_box(page, "/box/yy");
  ASSERT_TRUE(link) << app_->trace();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  app_->screenshot("ads-floating-small-screen");
  app_->click(link->cx(), link->cy());
  EXPECT_TRUE(wait_for([&] { return opened().find(server_->base() + "yy") != std::string::npos; }, 10))
      << opened();
  EXPECT_TRUE(wait_for([&] { return !shown(ad.id); }, 10)) << "the floating window stays";
  EXPECT_TRUE(app_->running());
  EXPECT_FALSE(app_->windows_titled("Tavori 1.0").empty()) << "the main window went";
}

}  // namespace
}  // namespace tav::test
