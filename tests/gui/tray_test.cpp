// The tray icon on a desktop with a tray (trayer, an XEmbed tray under
// openbox): its clicks, its menu, and the settings dialog the menu opens.
#include <gtest/gtest.h>

#include <filesystem>

#include <map>
#include <sstream>
#include <string>

#include "desktop_fixture.h"

namespace tav::test {
namespace {

class Tray : public Desktop {
 protected:
  void SetUp() override {
    Desktop::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(start_server());
    tray_ = launch({"/usr/bin/trayer", "--edge", "bottom", "--align", "right", "--widthtype",
                    "request", "--height", "24", "--expand", "false"},
                   {"DISPLAY=" + x_->display()}, home_.str(), home_.file("trayer.txt"));
    ASSERT_TRUE(wait_for([&] { return !x("xdotool search --class trayer").empty(); }, 20)) << "no tray";
    app_ = make_app();
    app_->register_player();
  }
  void TearDown() override {
    if (app_) app_->stop();
    end_group(tray_);
  }

  std::string x(const std::string& command) const {
    return x_query(x_->display(), command);
  }
  static std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }
  // A window's place and size on the screen (X, Y, WIDTH, HEIGHT).
  std::map<std::string, int> geometry(const std::string& window) const {
    std::map<std::string, int> g;
    std::istringstream shell(x("xdotool getwindowgeometry --shell " + window));
    for (std::string line; std::getline(shell, line);)
      if (const auto eq = line.find('='); eq != std::string::npos)
        g[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
    return g;
  }
  // Starts the program with these settings; its window's id.
  std::string start(const std::string& config) {
    app_->write_app_file("config.ini", config);
    app_->start();
    EXPECT_TRUE(app_->wait_traced("BA1 shown", 60)) << app_->output();
    std::string window;
    wait_for([&] {
      window = first_line(x("xdotool getactivewindow"));
      return !window.empty() && first_line(x("xdotool getwindowpid " + window)) == std::to_string(app_->pid());
    }, 20);
    return window;
  }
  // The middle of the tray icon: the tray is as wide as its icons, and the
  // program's is the only one.
  std::pair<int, int> icon() const {
    std::pair<int, int> at{-1, -1};
    wait_for([&] {
      for (std::istringstream ids(x("xdotool search --onlyvisible --class trayer")); ;) {
        std::string id;
        if (!std::getline(ids, id)) break;
        const auto g = geometry(id);
        if (g.count("WIDTH") && g.at("WIDTH") >= 16 && g.at("HEIGHT") >= 16) {
          at = {g.at("X") + g.at("WIDTH") / 2, g.at("Y") + g.at("HEIGHT") / 2};
          return true;
        }
      }
      return false;
    }, 20);
    return at;
  }
  std::string window_state(const std::string& window) const {
    return x("xprop -id " + window + " WM_STATE");
  }
  // The settings dialog's window and the top-left corner of its inside
  // (xwininfo: the window manager's frame is around it).
  std::string dialog(std::map<std::string, int>* place = nullptr) const {
    std::string id;
    wait_for([&] { return !(id = first_line(app_->windows_titled("软件设置"))).empty(); }, 20);
    if (place && !id.empty()) {
      std::istringstream info(x("xwininfo -id " + id));
      for (std::string line; std::getline(info, line);) {
        if (const auto at = line.find("Absolute upper-left X:"); at != std::string::npos)
          (*place)["X"] = std::atoi(line.c_str() + at + 22);
        if (const auto at = line.find("Absolute upper-left Y:"); at != std::string::npos)
          (*place)["Y"] = std::atoi(line.c_str() + at + 22);
      }
    }
    return id;
  }
  // Opens the tray menu and chooses an item by its caption.
  bool choose_from_tray_menu(const std::string& caption) {
    const auto [ix, iy] = icon();
    if (ix < 0) return false;
    const int before = app_->traced_count("menu r_m shown");
    // A click while the last menu is still going away is lost.
    bool shown = false;
    for (int i = 0; i < 3 && !shown; ++i) {
      app_->right_click(ix, iy);
      shown = wait_for([&] { return app_->traced_count("menu r_m shown") > before; }, 4);
    }
    if (!shown) return false;
    const auto item = menu_item(app_->last_traced("menu r_m shown"), caption);
    if (!item || !item->enabled) return false;
    app_->click(item->box.x + item->box.w / 2, item->box.y + item->box.h / 2);
    return true;
  }

  TempDir home_;
  pid_t tray_ = -1;
  std::unique_ptr<DesktopApp> app_;
};

constexpr const char* kAskedBefore = "[S_q]\r\nts=1\r\nquit=2\r\n";

TEST_F(Tray, LeftClicksOnTheIconHideAndShowTheWindowAndRestoreItWhenMinimised) {
  const std::string window = start(kAskedBefore);
  ASSERT_FALSE(window.empty());
  const auto [ix, iy] = icon();
  ASSERT_GE(ix, 0) << x("xdotool search --class trayer");
  app_->screenshot("tray-icon");

  app_->click(ix, iy);
  ASSERT_TRUE(app_->wait_traced("BA1 hidden", 10)) << app_->trace();
  EXPECT_TRUE(wait_for([&] { return x("xdotool search --onlyvisible --pid " + std::to_string(app_->pid()))
                                        .find(window) == std::string::npos; }, 10));
  app_->click(ix, iy);
  ASSERT_TRUE(app_->wait_traced_after("BA1 hidden", "BA1 shown", 10))
      << app_->trace() << x("xdotool search --class trayer") << ix << "," << iy;
  EXPECT_TRUE(wait_for([&] { return window_state(window).find("Normal") != std::string::npos; }, 10))
      << window_state(window);

  x("xdotool windowminimize " + window);
  ASSERT_TRUE(wait_for([&] { return window_state(window).find("Iconic") != std::string::npos; }, 10))
      << window_state(window);
  const int hidden = app_->traced_count("BA1 hidden");
  app_->click(ix, iy);
  EXPECT_TRUE(wait_for([&] { return window_state(window).find("Normal") != std::string::npos; }, 10))
      << window_state(window);
  EXPECT_EQ(app_->traced_count("BA1 hidden"), hidden) << "the minimised window was hidden instead";
}

TEST_F(Tray, TheRightClickOpensTheMenuWhoseSettingsItemOpensTheSettingsPage) {
  ASSERT_FALSE(start(kAskedBefore).empty());
  const auto [ix, iy] = icon();
  ASSERT_GE(ix, 0);
  app_->right_click(ix, iy);
  ASSERT_TRUE(app_->wait_traced("menu r_m shown", 10)) << app_->trace();
  const std::string menu = app_->last_traced("menu r_m shown");
  for (const char* caption : {"软件设置", "关于我们", "退出软件"})
    EXPECT_TRUE(menu_item(menu, caption)) << caption << " missing: " << menu;
  app_->screenshot("tray-menu");
  app_->key("Escape");
  ASSERT_TRUE(app_->wait_traced("menu r_m closed", 10)) << app_->trace();

  // The player's page is the one on the server the program was pointed at.
  const std::string opened = app_->app_file("opened.txt");
  app_->write_app_file("xdg-open", "#!/bin/sh\necho \"$@\" >> '" + opened + "'\n");
  std::filesystem::permissions(app_->app_file("xdg-open"), std::filesystem::perms::owner_all);
  ASSERT_TRUE(choose_from_tray_menu("官方主页")) << app_->trace();
  EXPECT_TRUE(wait_for([&] { return read_file(opened) == server_->origin() + "/player/\n"; }, 10))
      << read_file(opened);

  ASSERT_TRUE(choose_from_tray_menu("软件设置")) << app_->trace();
  ASSERT_TRUE(app_->wait_traced("menu r_m chose shezhi", 10)) << app_->trace();
  ASSERT_TRUE(app_->wait_traced("BA3 shown", 10)) << app_->trace();
  const std::string id = dialog();
  ASSERT_FALSE(id.empty()) << "no window titled 软件设置";
  EXPECT_TRUE(app_->wait_traced_after("BA3 shown", "bb caption 软件设置", 10)) << app_->trace();
  EXPECT_EQ(app_->last_traced("p1(1) "), "p1(1) shown");
  EXPECT_EQ(app_->last_traced("p1(0) "), "p1(0) hidden");
  EXPECT_EQ(app_->last_traced("p1(2) "), "p1(2) hidden");
  // A window with the system's frame: the window manager gave it one.
  EXPECT_NE(x("xprop -id " + id + " _NET_FRAME_EXTENTS").find("_NET_FRAME_EXTENTS(CARDINAL) = "),
            std::string::npos);
  app_->screenshot("settings-page-1");
}

TEST_F(Tray, AClearedCheckBoxIsWrittenToTheSettingsOnOk) {
  // With the player's settings found and the folder left as it is, 确定
  // closes the dialog without a word.
  ASSERT_FALSE(start(std::string(kAskedBefore) + "qvodw=" + app_->app_file("Qvod") + "/\r\n").empty());
  ASSERT_TRUE(choose_from_tray_menu("软件设置")) << app_->trace();
  ASSERT_TRUE(app_->wait_traced("BA3 shown", 10)) << app_->trace();
  std::map<std::string, int> at;
  ASSERT_FALSE(dialog(&at).empty());
  EXPECT_EQ(app_->file("config.ini").find("quit=1"), std::string::npos);

  // 关闭软件最小化到托盘 (Check1(5)): page at 16,40, the box at 12,126 in it.
  app_->click(at["X"] + 16 + 12 + 7, at["Y"] + 40 + 126 + 9);
  // 确定
  app_->click(at["X"] + 126 + 30, at["Y"] + 282 + 12);
  EXPECT_TRUE(wait_for([&] { return app_->file("config.ini").find("quit=1") != std::string::npos; }, 10))
      << app_->file("config.ini");
  EXPECT_TRUE(wait_for([&] { return app_->windows_titled("软件设置").empty(); }, 10)) << "still open";
  // The others stay set.
  const std::string config = app_->file("config.ini");
  for (const char* key : {"qvodk=2", "s_size=2", "s_h=2", "s_bo=2", "s_jd=2", "qvodqi=2", "s_pao=2"})
    EXPECT_NE(config.find(key), std::string::npos) << key << " in " << config;
}

TEST_F(Tray, AFolderTypedOnTheCachePageIsWrittenToThePlayerSettingsOnApply) {
  const std::string qvod = app_->app_file("Qvod") + "/";
  ASSERT_FALSE(start(std::string(kAskedBefore) + "qvodw=" + qvod + "\r\n").empty());
  ASSERT_TRUE(choose_from_tray_menu("关于我们")) << app_->trace();
  ASSERT_TRUE(app_->wait_traced("BA3 shown", 10)) << app_->trace();
  std::map<std::string, int> at;
  ASSERT_FALSE(dialog(&at).empty());
  EXPECT_EQ(app_->last_traced("bb caption "), "bb caption 关于软件");
  EXPECT_EQ(app_->last_traced("p1(0) "), "p1(0) shown");
  app_->screenshot("settings-page-0");

  // The third tab (缓存设置): Frame1 at 16,4, the tab at 148,4 in it.
  app_->click(at["X"] + 16 + 148 + 35, at["Y"] + 4 + 4 + 13);
  ASSERT_TRUE(app_->wait_traced_after("BA3 shown", "bb caption 缓存设置", 10)) << app_->trace();
  EXPECT_EQ(app_->last_traced("p1(2) "), "p1(2) shown");
  const std::string xml = app_->file("Qvod/QvodPlayer.xml");
  EXPECT_NE(xml.find("Defaultsavepath=\"" + app_->downloads() + "/\""), std::string::npos) << xml;
  app_->screenshot("settings-page-2");

  const std::string folder = app_->downloads() + "/films";
  // Text1: page at 16,40, the box at 12,44 in it.
  app_->click(at["X"] + 16 + 12 + 100, at["Y"] + 40 + 44 + 11);
  app_->key("ctrl+a");
  x("xdotool type --delay 20 '" + folder + "'");
  // 应用(A)
  app_->click(at["X"] + 254 + 30, at["Y"] + 282 + 12);
  EXPECT_TRUE(wait_for([&] {
    return app_->file("Qvod/QvodPlayer.xml").find("Defaultsavepath=\"" + folder + "/\"") != std::string::npos;
  }, 15)) << app_->file("Qvod/QvodPlayer.xml");
  // Only the folder changed.
  EXPECT_NE(app_->file("Qvod/QvodPlayer.xml").find("Seedsource=\""), std::string::npos);
  // The box that says so.
  EXPECT_TRUE(wait_for([&] { return !app_->windows_titled("Tavori").empty(); }, 10));
  app_->screenshot("settings-applied");
  app_->key("Return");
  EXPECT_TRUE(wait_for([&] { return app_->windows_titled("Tavori").empty(); }, 10));
}

TEST_F(Tray, TheFolderChosenWithBrowseIsWrittenToThePlayerSettingsOnApply) {
  ASSERT_FALSE(start(std::string(kAskedBefore) + "qvodw=" + app_->app_file("Qvod") + "/\r\n").empty());
  ASSERT_TRUE(choose_from_tray_menu("软件设置")) << app_->trace();
  ASSERT_TRUE(app_->wait_traced("BA3 shown", 10)) << app_->trace();
  std::map<std::string, int> at;
  ASSERT_FALSE(dialog(&at).empty());
  app_->click(at["X"] + 16 + 148 + 35, at["Y"] + 4 + 4 + 13);
  ASSERT_TRUE(app_->wait_traced_after("BA3 shown", "bb caption 缓存设置", 10)) << app_->trace();

  const std::string folder = app_->downloads() + "/picked";
  std::filesystem::create_directories(folder);
  // 浏览: page at 16,40, the button at 228,43 in it.
  app_->click(at["X"] + 16 + 228 + 30, at["Y"] + 40 + 43 + 12);
  ASSERT_TRUE(wait_for([&] { return !app_->windows_titled("请选择影片下载存放的文件夹").empty(); }, 10))
      << "no folder chooser";
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  app_->screenshot("settings-folder-chooser");
  // The chooser's name box has the keys: the folder's whole path.
  app_->key("ctrl+a");
  x("xdotool type --delay 20 '" + folder + "'");
  app_->key("Return");
  ASSERT_TRUE(wait_for([&] { return app_->windows_titled("请选择影片下载存放的文件夹").empty(); }, 10));
  app_->click(at["X"] + 254 + 30, at["Y"] + 282 + 12);
  EXPECT_TRUE(wait_for([&] {
    return app_->file("Qvod/QvodPlayer.xml").find("Defaultsavepath=\"" + folder + "/\"") != std::string::npos;
  }, 15)) << app_->file("Qvod/QvodPlayer.xml");
  EXPECT_TRUE(wait_for([&] { return !app_->windows_titled("Tavori").empty(); }, 10));
  app_->key("Return");
}

TEST_F(Tray, AnEpisodeThatCannotBeLookedUpIsToldInABalloonAtTheIcon) {
  ASSERT_FALSE(start(kAskedBefore).empty());
  ASSERT_GE(icon().first, 0);
  const std::string page = app_->wait_last("page Web1", "测试剧", 30);
  const auto episode = link_box(page, "eebovod://1-1-1-%u6D4B%u8BD5%u5267");
  ASSERT_TRUE(episode) << page;
  server_.reset();  // the server is gone: the episode's data cannot be read
  app_->click(episode->cx(), episode->cy());
  EXPECT_TRUE(app_->wait_traced("zhun caption 读取数据出错，请返回重试", 30)) << app_->trace();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the balloon fades in
  app_->screenshot("tray-balloon");
}

}  // namespace
}  // namespace tav::test
