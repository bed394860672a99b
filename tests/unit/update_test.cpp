// The update check and the advertisement windows.
#include <gtest/gtest.h>

#include "forms/ads.h"
#include "forms/tip.h"
#include "headless_fixture.h"

namespace tav {
namespace {

class Update : public test::HeadlessTest {
 protected:
  void SetUp() override {
    w = start();
    ASSERT_TRUE(w);
    hp.log.clear();
  }
  void version_file(const std::string& text) {
    hp.http.reply(config.server_base + "lib/wen.txt", text);
  }
  // Six seconds after start.
  void check() { hp.loop.advance(6000); }
  std::string question(const std::string& version) {
    return "msgbox title=\"Tavori提示：\" text=\"检测到最新版本 " + version +
           " ,你需要现在升级吗？\" buttons=YesNo icon=none";
  }
  std::unique_ptr<BA1> w;
};

TEST_F(Update, ANewerVersionDeclinedTurnsTheFloatingAdOn) {
  version_file("1====1====1====1.1");
  hp.dialogs.answers.push_back(MsgAnswer::No);
  check();
  EXPECT_TRUE(logged("fetch " + config.server_base + "lib/wen.txt"));
  EXPECT_TRUE(logged(question("1.1")));
  EXPECT_EQ(w->exitNotice, "1");
  EXPECT_TRUE(w->ad_huan.visible());
  EXPECT_FALSE(w->adp.visible());
  EXPECT_TRUE(w->Timer6.enabled());
  EXPECT_FALSE(w->Timer5.enabled());
  // 50 s later the floating window shows once, at the lower right.
  hp.loop.advance(50000);
  ASSERT_NE(w->adsb(), nullptr);
  EXPECT_TRUE(logged("navigate Web1 " + config.server_base + "js/ads/fudong.html"));
  EXPECT_FALSE(w->Timer6.enabled());
}

TEST_F(Update, ANewerVersionAcceptedStartsTheUpdaterAndQuitsWithoutTheNotice) {
  version_file("1====1====1====1.1");
  hp.dialogs.answers.push_back(MsgAnswer::Yes);
  check();
  EXPECT_TRUE(logged("shell-open \"" + config.server_base + "update/update.exe\" verb=Open"));
  EXPECT_EQ(w->exitNotice, "0");
  EXPECT_EQ(w->ba4(), nullptr);
  EXPECT_TRUE(logged("quit"));
  EXPECT_FALSE(w->Timer6.enabled());
  // The local updater comes first when there is one.
  dir.write("update.exe", "x");
  w = start();
  hp.dialogs.answers.push_back(MsgAnswer::Yes);
  hp.log.clear();
  check();
  EXPECT_TRUE(logged("update.exe\" style=2"));  // the local updater, minimised
  EXPECT_EQ(hp.shell.started.back(), dir.file("update.exe"));
}

TEST_F(Update, TheSameVersionAsksNothing) {
  version_file("0====0====0====1.0");
  check();
  EXPECT_FALSE(logged("msgbox"));
  EXPECT_FALSE(w->Timer6.enabled());
  EXPECT_FALSE(w->ad_huan.visible());
  // With CR LF after the version, and the floating switch on.
  w = start();
  version_file("0====1====0====1.0\r\n");
  check();
  EXPECT_FALSE(logged("msgbox"));
  EXPECT_EQ(w->latestVersion, "1.0");
  EXPECT_TRUE(w->Timer6.enabled());
}

TEST_F(Update, VersionZeroAndMissingVersionsAskNothing) {
  version_file("0====0====0====0");
  check();
  EXPECT_FALSE(logged("msgbox"));
  w = start();
  version_file("1====1====1");
  check();
  EXPECT_FALSE(logged("msgbox"));
  EXPECT_TRUE(w->Timer6.enabled());
  EXPECT_TRUE(w->ad_huan.visible());
  EXPECT_EQ(w->latestVersion, "");
  // A differently written version is a different version.
  w = start();
  version_file("0====0====0====1.00");
  hp.dialogs.answers.push_back(MsgAnswer::No);
  check();
  EXPECT_TRUE(logged(question("1.00")));
}

TEST_F(Update, SwitchesWithLettersAreOffAndBadFilesChangeNothing) {
  version_file("1====a1====1x====1.0");
  check();
  EXPECT_FALSE(w->Timer6.enabled());
  EXPECT_FALSE(w->ad_huan.visible());
  for (const char* bad : {"", "garbage without separator", "===="}) {
    w = start();
    hp.log.clear();
    version_file(bad);
    check();
    EXPECT_FALSE(logged("msgbox")) << bad;
    EXPECT_EQ(w->exitNotice, std::string(bad) == "====" ? "" : "0") << bad;
  }
  // A failed ad panel keeps its fallback picture.
  w = start();
  w->adFailed = 1;
  version_file("0====0====1====1.0");
  check();
  EXPECT_FALSE(w->ad_huan.visible());
}

TEST_F(Update, TheManualCheckAsksAgainAndQuitsWithTheNotice) {
  version_file("1====0====0====1.1");
  hp.dialogs.answers.push_back(MsgAnswer::No);
  check();
  hp.log.clear();
  hp.dialogs.answers.push_back(MsgAnswer::Yes);
  w->tip().r_m.item("shengji").click();
  EXPECT_TRUE(logged(question("1.1")));
  EXPECT_TRUE(logged("shell-open"));
  EXPECT_EQ(w->exitNotice, "1");
  ASSERT_NE(w->ba4(), nullptr);
  EXPECT_TRUE(logged("navigate Web1 " + config.server_base + "js/ads/tui.html"));
  EXPECT_FALSE(logged("quit"));
  // Meanwhile a new start of the program is one of its own: this one no
  // longer answers as the running instance.
  EXPECT_TRUE(logged("instance leave"));
  EXPECT_FALSE(hp.instance.serving);
  // The notice ends the program 20 s later.
  hp.loop.advance(19000);
  EXPECT_FALSE(logged("quit"));
  hp.loop.advance(1000);
  EXPECT_TRUE(logged("quit"));
  EXPECT_EQ(w->ba4(), nullptr);
}

TEST_F(Update, TheManualCheckBeforeTheAutomaticOneSaysTheVersionIsNew) {
  hp.loop.advance(3000);
  w->shengji();
  EXPECT_TRUE(logged("msgbox title=\"提示：\" text=\"你现在使用的是最新版本，无需升级！\" buttons=OK"));
}

TEST_F(Update, TheFloatingWindowSitsAtTheLowerRightOfAnyScreen) {
  // Measured from the screen's edges, whatever panels the desktop has.
  const struct {
    int width, height;
    WorkArea area;
  } desktops[] = {{1366, 768, {0, 0, 1366, 728}},
                  {1920, 1080, {0, 0, 1872, 1080}},
                  {800, 600, {0, 0, 800, 600}}};
  for (const auto& d : desktops) {
    hp.screen.width = d.width;
    hp.screen.height = d.height;
    hp.screen.area = d.area;
    w = start();
    w->Timer6_Timer();
    Adsb* ad = w->adsb();
    ASSERT_NE(ad, nullptr);
    EXPECT_EQ(ad->left(), d.width * 15 - 4500 - 80) << d.width;
    EXPECT_EQ(ad->top(), d.height * 15 - 3750 - 450) << d.width;
    EXPECT_EQ(ad->width(), 4500);
    EXPECT_EQ(ad->height(), 3750);
    EXPECT_TRUE(ad->top_most());
    EXPECT_TRUE(ad->visible());
    EXPECT_TRUE(ad->shown_without_focus());
    EXPECT_EQ(ad->Picture1.left(), ad->Pc1.width() - 18);
    EXPECT_EQ(ad->Picture1.top(), 8);
    EXPECT_EQ(ad->Web1.left(), -2);
    EXPECT_EQ(ad->Web1.width(), ad->Pc1.width() + 4);
    EXPECT_EQ(ad->Web1.height(), ad->Pc1.height() + 4);
  }
  // Shown once: a second tick does nothing.
  hp.log.clear();
  w->Timer6_Timer();
  EXPECT_FALSE(logged("fudong"));
}

TEST_F(Update, TheFloatingAdDelayCanBeShortenedForTests) {
  EXPECT_EQ(w->Timer6.interval(), 50000);
  config.floating_ad_delay_ms = 1500;
  w = start();
  EXPECT_EQ(w->Timer6.interval(), 1500);
  version_file("0====1====0====1.0");
  check();
  hp.loop.advance(1500);
  EXPECT_NE(w->adsb(), nullptr);
}

TEST_F(Update, ANewWindowOrTheClosePictureClosesTheAdWindow) {
  w->Timer6_Timer();
  ASSERT_NE(w->adsb(), nullptr);
  w->adsb()->Web1.download_begin();
  EXPECT_TRUE(w->adsb()->Web1.silent());
  EXPECT_TRUE(w->adsb()->Web1.new_window());  // not cancelled: the page opens
  EXPECT_EQ(w->adsb(), nullptr);
  // The notice window: its close picture ends the program.
  w->exitNotice = "1";
  w->ttt_v();
  ASSERT_NE(w->ba4(), nullptr);
  EXPECT_EQ(w->ba4()->caption(), "推荐");
  w->ba4()->Picture1.click();
  EXPECT_EQ(w->ba4(), nullptr);
  EXPECT_TRUE(logged("quit"));
  // Closed from the window manager, each window goes as by its close
  // picture.
  w = start();
  w->Timer6_Timer();
  ASSERT_NE(w->adsb(), nullptr);
  ASSERT_TRUE(w->adsb()->on_close_request);
  w->adsb()->on_close_request();
  EXPECT_EQ(w->adsb(), nullptr);
  hp.log.clear();
  w->exitNotice = "1";
  w->ttt_v();
  ASSERT_NE(w->ba4(), nullptr);
  EXPECT_FALSE(logged("quit"));
  w->ba4()->on_close_request();
  EXPECT_EQ(w->ba4(), nullptr);
  EXPECT_TRUE(logged("quit"));
}

TEST_F(Update, TheSessionsEndEndsTheProgramWithoutTheNoticeWindow) {
  w->exitNotice = "1";
  w->endSession();
  EXPECT_EQ(w->ba4(), nullptr);
  EXPECT_TRUE(logged("quit"));
  // The user had closed the program and the notice window waits: it goes.
  w = start();
  hp.log.clear();
  w->exitNotice = "1";
  w->ttt_v();
  ASSERT_NE(w->ba4(), nullptr);
  EXPECT_FALSE(logged("quit"));
  w->endSession();
  EXPECT_EQ(w->ba4(), nullptr);
  EXPECT_TRUE(logged("quit"));
}

}  // namespace
}  // namespace tav
