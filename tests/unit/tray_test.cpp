// The tray icon: its clicks, its balloons, and a window that is never
// hidden where nothing could bring it back.
#include <gtest/gtest.h>

#include "forms/tip.h"
#include "headless_fixture.h"
#include "tray/tray_icon.h"

namespace tav {
namespace {

class Tray : public test::HeadlessTest {
 protected:
  void SetUp() override {
    w = start();
    ASSERT_TRUE(w);
    hp.log.clear();
  }
  std::unique_ptr<BA1> w;
};

TEST_F(Tray, TheIconIsAddedWithTheCaptionAndRemovedAtExit) {
  w = start();
  EXPECT_TRUE(logged("tray add \"Tavori 1.0\""));
  EXPECT_TRUE(hp.tray.shown());
  w->ttt_v();
  EXPECT_TRUE(logged("tray remove"));
  EXPECT_FALSE(hp.tray.present);
}

TEST_F(Tray, LeftClicksRestoreThenHideThenShow) {
  w->set_window_state(WindowState::Minimized);
  hp.tray.on_left_click();
  EXPECT_EQ(w->window_state(), WindowState::Normal);
  EXPECT_TRUE(w->visible());
  hp.tray.on_left_click();
  EXPECT_FALSE(w->visible());
  hp.tray.on_left_click();
  EXPECT_TRUE(w->visible());
}

TEST_F(Tray, TheRightClickOpensTheMenuOfTheMenuButton) {
  hp.tray.on_right_click();
  EXPECT_TRUE(logged("popup r_m at mouse"));
  hp.log.clear();
  w->npc_Click(3);
  EXPECT_TRUE(logged("popup r_m"));
  // After the menu window was unloaded the click still finds its menu.
  w->unload_tip();
  hp.log.clear();
  hp.tray.on_right_click();
  EXPECT_TRUE(logged("popup r_m at mouse"));
}

TEST_F(Tray, TwoBalloonsInARowKeepTheTitle) {
  showBalloon(*w, "开始缓冲下一集！");
  showBalloon(*w, "正在准备播放下一集！");
  EXPECT_EQ(logged_count("balloon title=\"Tavori提示:\""), 2u);
  EXPECT_TRUE(logged("text=\"正在准备播放下一集！\""));
}

TEST_F(Tray, ClosingHidesToTheTrayOnlyWhereThereIsOne) {
  put_setting("S_q", "ts", "1");
  put_setting("S_q", "quit", "2");
  w->npc_Click(0);
  EXPECT_FALSE(w->visible());
  hp.tray.on_left_click();
  EXPECT_TRUE(w->visible());
  // A desktop without a tray: the window goes to the task bar instead.
  hp.tray.host = false;
  w->npc_Click(0);
  EXPECT_TRUE(w->visible());
  EXPECT_EQ(w->window_state(), WindowState::Minimized);
}

TEST_F(Tray, TheMainMenuOpensTheHomePageAndQuits) {
  w->tip().r_m.item("guan").click();
  EXPECT_TRUE(logged("shell-open \"" + config.vendor_home + "\" verb=Open"));
  w->tip().r_m.item("qsoft").click();
  EXPECT_TRUE(logged("tray remove"));
  EXPECT_TRUE(logged("quit"));
}

}  // namespace
}  // namespace tav
