#include <gtest/gtest.h>

#include "headless_fixture.h"

namespace tav {
namespace {

using MainWindowLoad = test::HeadlessTest;

TEST_F(MainWindowLoad, PointsEveryPanelAtItsStartPageInOrder) {
  hp.adapters.set_only("00:1A:2B:3C:4D:5E");
  auto w = start();
  ASSERT_TRUE(w);
  std::vector<std::string> navigations;
  for (const std::string& line : hp.log.lines())
    if (line.rfind("navigate ", 0) == 0 || line.rfind("document ", 0) == 0)
      navigations.push_back(line.substr(0, line.find(' ', 9)) + " " +
                            line.substr(line.find(' ', 9) + 1, 40));
  const std::string base = config.server_base;
  ASSERT_EQ(navigations.size(), 11u);
  EXPECT_EQ(navigations[0], "navigate Web1 " + base.substr(0, 40));
  EXPECT_EQ(hp.windows.panel(w->Web1)->location(), base);
  EXPECT_EQ(hp.windows.panel(w->Web2)->location(), "about:blank");
  EXPECT_EQ(hp.windows.panel(w->Webz2)->location(), "about:blank");
  EXPECT_EQ(hp.windows.panel(w->Webz3)->location(), base + "/yy");
  EXPECT_EQ(hp.windows.panel(w->Web3)->location(), dir.file("c.htm"));
  EXPECT_EQ(hp.windows.panel(w->Web4)->location(), "about:blank");
  EXPECT_EQ(hp.windows.panel(w->Web5)->location(), dir.file("f.htm"));
  EXPECT_EQ(hp.windows.panel(w->Web6)->location(), base + "tj/tj.asp?id=00-1A-2B-3C-4D-5E");
  EXPECT_EQ(hp.windows.panel(w->Web7)->location(), base + "js/ads/qvodad.html");
  EXPECT_EQ(navigations[3].substr(0, 15), "document Webz2 ");
  EXPECT_EQ(navigations[7].substr(0, 14), "document Web4 ");
}

TEST_F(MainWindowLoad, SavedSizesFromConfigAreNumbersOfAnySize) {
  start();  // writes config.ini
  put_setting("S_q", "s_size", "2");
  put_setting("S_q", "h_w", "2147483647");
  put_setting("S_q", "h_h", "2147483647");
  auto w = start();
  ASSERT_TRUE(w);
  EXPECT_GT(w->scale_width(), 0);
  EXPECT_GT(w->scale_height(), 0);
  // A fraction is a number: rounded, not refused.
  put_setting("S_q", "h_w", "14235.7");
  put_setting("S_q", "h_h", "7200.5");
  w = start();
  EXPECT_EQ(w->savedWidth, 14236);
  EXPECT_EQ(w->savedHeight, 7200);
  EXPECT_EQ(setting("S_q", "h_w"), "14235.7");  // a number: no repair
}

TEST_F(MainWindowLoad, WritesThePlaceholderPagesToTheCharacter) {
  auto w = start();
  ASSERT_TRUE(w);
  EXPECT_EQ(hp.windows.panel(w->Webz2)->document(),
            "<html><head><style type=\"text/css\">*{margin:0;padding:0;}body{overflow:auto;"
            "background:#070707;color:#FFFFFF; text-align:center; font-size:12px}</style></head>"
            "<body oncontextmenu=\"return false\" ondragstart=\"return false\"><br><br>"
            "正在加载电视，请稍后...</body></html>");
  EXPECT_EQ(hp.windows.panel(w->Web4)->document(),
            "<html><head><style type=\"text/css\">*{margin:0;padding:0;}body{overflow:auto;"
            "background:#070707;color:#FFFFFF; text-align:center; font-size:12px}</style></head>"
            "<body oncontextmenu=\"return false\" ondragstart=\"return false\"><br>"
            "没有正在播放的网络影片</body></html>");
}

TEST_F(MainWindowLoad, SendsTheStoredIdentifierUnescaped) {
  ASSERT_TRUE(start());
  put_setting("User", "Name", "00-AB-CD-EF-01-23");
  hp.log.clear();
  auto w = start();
  EXPECT_EQ(hp.windows.panel(w->Web6)->location(),
            config.server_base + "tj/tj.asp?id=00-AB-CD-EF-01-23");
}

TEST_F(MainWindowLoad, TakesTheSavedSizeOnlyWhenAsked) {
  ASSERT_TRUE(start());
  put_setting("S_q", "s_size", "1");
  put_setting("S_q", "h_w", "20000");
  auto w = start();
  EXPECT_EQ(w->sizeMode, 1);
  EXPECT_EQ(w->savedWidth, 0);
  EXPECT_EQ(w->savedHeight, 0);
  EXPECT_EQ(w->width(), 14235);  // as designed

  put_setting("S_q", "s_size", "2");
  put_setting("S_q", "h_w", "13260");
  put_setting("S_q", "h_h", "8790");
  w = start();
  EXPECT_EQ(w->sizeMode, 2);
  EXPECT_EQ(w->savedWidth, 13260);
  EXPECT_EQ(w->width(), 13260);
  EXPECT_EQ(w->height(), 8790);
}

TEST_F(MainWindowLoad, SetsSkinFacesStateAndStyle) {
  hp.images.missing = {105};
  auto w = start();
  ASSERT_TRUE(w);
  EXPECT_EQ(w->ppt(0).picture().id, "ppt0");
  EXPECT_TRUE(w->ppt(4).picture().empty());
  EXPECT_EQ(w->ppt(10).picture().id, "ppt10");
  const char* faces[] = {"but2", "but3", "but7", "but11", "but0", "but14", "but16", "but18"};
  for (int i = 0; i <= 7; ++i) EXPECT_EQ(w->bo_but(i).picture().id, faces[i]) << i;
  EXPECT_EQ(w->itemKey, "0");
  EXPECT_EQ(w->currentTab, 8);
  EXPECT_EQ(w->currentSection, 13);
  EXPECT_EQ(w->exitNotice, "0");
  EXPECT_EQ(w->settingsPath, dir.file("config.ini"));
  EXPECT_EQ(w->installedVersion, "1.0");
  EXPECT_EQ(w->style() & 0x30000, 0x30000);
  EXPECT_TRUE(w->key_preview());
  EXPECT_EQ(w->workArea.width(), 1366);
  EXPECT_TRUE(logged("player put 31 \"" + config.server_base + "js/ads/qvodad.html\""));
  EXPECT_TRUE(hp.instance.serving);
}

TEST_F(MainWindowLoad, AMissingPlayerControlDoesNotStopTheLoad) {
  hp.registry.registered.clear();
  std::filesystem::create_directory(dir.file("Qvod"));
  dir.write("Qvod/QvodInsert.dll", "library");
  auto w = start();
  ASSERT_TRUE(w);
  EXPECT_FALSE(logged("player put"));
  EXPECT_TRUE(w->key_preview());
}

TEST_F(MainWindowLoad, TimersStartAsDesigned) {
  auto w = start();
  const struct {
    Timer* t;
    int interval;
    bool enabled;
  } expected[] = {{&w->Timer1, 1000, true},   {&w->Timer2, 2000, false},
                  {&w->Timer3, 10, true},     {&w->Timer4, 50000, false},
                  {&w->Timer5, 6000, true},   {&w->Timer6, 50000, false}};
  for (const auto& e : expected) {
    EXPECT_EQ(e.t->interval(), e.interval) << e.t->name();
    EXPECT_EQ(e.t->enabled(), e.enabled) << e.t->name();
  }
}

}  // namespace
}  // namespace tav
