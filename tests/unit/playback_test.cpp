#include <gtest/gtest.h>

#include "headless_fixture.h"
#include "platform/paths.h"
#include "playback/status.h"
#include "web/link_protocol.h"

namespace tav {
namespace {

class Playback : public test::HeadlessTest {
 protected:
  void SetUp() override {
    w = start();
    ASSERT_TRUE(w);
    w->backend_resized(0, 0, 1000, 600);
    hp.log.clear();
  }
  FakePlayer& player() { return *hp.windows.player(); }
  // A film of the library plays in the player control.
  void play_online(const std::string& v1 = "0", int duration = 100) {
    player().durations["http://media/"] = duration;
    w->Web1.navigate("eeqvod://qvod&&&http%3A//media/e" + v1 + ".mp4&&&%u5929%u9F99&&&%u7B2C1%u96C6&&&12&&&1&&&" + v1);
  }
  std::unique_ptr<BA1> w;
};

TEST(FormatTime, WritesMinutesAndSecondsAndHoursFromAnHourOn) {
  EXPECT_EQ(formatTime(0), "00:00");
  EXPECT_EQ(formatTime(59), "00:59");
  EXPECT_EQ(formatTime(75), "01:15");
  EXPECT_EQ(formatTime(3600), "1:00:00");
  EXPECT_EQ(formatTime(3725), "1:02:05");
  EXPECT_EQ(formatTime(36000 + 59), "10:00:59");
  EXPECT_EQ(formatTime(-5), "00:00");
}

TEST_F(Playback, NothingLoadedShowsReadyAndLeavesTheTimeAlone) {
  w->times.set_caption("12:34 / 56:07");
  w->Timer1_Timer();
  EXPECT_EQ(w->zhun.caption(), "准备就绪");
  EXPECT_EQ(w->bo_but(0).tooltip(), "播放");
  EXPECT_EQ(w->bo_but(0).picture().id, "but2");
  EXPECT_EQ(w->huan.left(), -30);
  EXPECT_EQ(w->times.caption(), "12:34 / 56:07");
}

TEST_F(Playback, APlayingFilmFillsTheStatusStripSeekBarAndTime) {
  play_online();
  hp.loop.advance(5000);
  EXPECT_TRUE(w->bo_zt.visible());
  EXPECT_EQ(w->bo_but(0).tooltip(), "暂停");
  EXPECT_EQ(w->bo_but(0).picture().id, "but1");
  EXPECT_FALSE(w->bo_ad.visible());
  EXPECT_TRUE(w->QvodC.visible());
  EXPECT_EQ(w->times.caption(), "00:05 / 01:40");
  EXPECT_EQ(w->times.left(), w->qvod.width() - w->times.width() - 13);
  EXPECT_EQ(w->gunt1.left(), static_cast<int>(std::lround(5.0 / 100 * (w->gunt.width() - w->gunt1.width()))));
  EXPECT_EQ(w->gunt1.tooltip(), "00:05");
  EXPECT_EQ(w->huan.left(), 0);
  EXPECT_EQ(w->huan.width(), w->gunt.width());  // a finished download
  EXPECT_EQ(w->lastPos, 5);
  EXPECT_EQ(w->resumePos, 5);
}

TEST_F(Playback, TheSpeedTextTakesOverAfterSixSeconds) {
  play_online();
  player().set(dispid::kDownloadSpeed, Variant(200));
  player().set(dispid::kBitRate, Variant(480));
  player().set(dispid::kPosition, Variant(5));
  w->Timer1_Timer();
  EXPECT_EQ(w->zhun.caption(), "播放中(480 Kbps)");
  player().set(dispid::kPosition, Variant(7));
  w->Timer1_Timer();
  EXPECT_EQ(w->zhun.caption(), "播放中(200 Kbps/S)");
}

TEST_F(Playback, StateTextsFollowThePlayState) {
  play_online();
  EXPECT_EQ(w->Timer1.interval(), 1000);  // playing at once
  player().set(dispid::kDownloadSpeed, Variant(12));
  const struct {
    int state;
    const char* text;
  } states[] = {{0, "播放完毕"}, {1, "已停止"}, {2, "已暂停"}, {4, "正在缓冲 (12Kbps/S)"},
                {5, "等待中"},   {6, "播放结束"}, {7, "准备读"}, {8, "重连中"},
                {9, "BT种子下载中"}, {10, "正在连接 (12KB/S)  请等待大约30秒，即可观看"},
                {11, "正在停止"}};
  for (const auto& s : states) {
    player().set(dispid::kPlayState, Variant(s.state));
    w->Timer1_Timer();
    EXPECT_EQ(w->zhun.caption(), s.text) << s.state;
    EXPECT_TRUE(w->bo_ad.visible());
    EXPECT_FALSE(w->QvodC.visible());
    // While the film is on its way, the tick comes four times a second.
    const bool coming = s.state == 4 || s.state == 5 || (s.state >= 7 && s.state <= 10);
    EXPECT_EQ(w->Timer1.interval(), coming ? 250 : 1000) << s.state;
  }
  player().set(dispid::kPlayState, Variant(42));
  w->Timer1_Timer();
  EXPECT_EQ(w->zhun.caption(), "正在停止");  // unknown states change nothing
  player().set(dispid::kPlayState, Variant(10));
  w->Timer1_Timer();
  player().set(dispid::kPlayState, Variant(3));
  w->Timer1_Timer();
  EXPECT_EQ(w->Timer1.interval(), 1000);  // playing: once a second again
  player().set(dispid::kPlayState, Variant(7));
  w->player.play();  // a film handed over that is still opening
  EXPECT_EQ(w->Timer1.interval(), 250);
}

TEST_F(Playback, NearTheEndWithoutBalloonsTheTickStopsEarly) {
  play_online("0", 100);
  put_setting("S_q", "s_pao", "1");
  player().set(dispid::kPosition, Variant(99));
  w->times.set_caption("untouched");
  w->Timer1_Timer();
  EXPECT_TRUE(w->Timer2.enabled());
  EXPECT_EQ(w->times.caption(), "untouched");
  EXPECT_FALSE(logged("balloon"));
}

TEST_F(Playback, NearTheEndWithANextEpisodeTheBalloonWarns) {
  play_online("0", 100);
  w->nextLink = "eeqvod://qvod&&&x&&&n&&&l&&&12&&&1&&&1";
  player().set(dispid::kPosition, Variant(99));
  w->Timer1_Timer();
  EXPECT_TRUE(logged("balloon title=\"Tavori提示:\" text=\"正在准备播放下一集！\""));
  EXPECT_EQ(w->times.caption(), "01:39 / 01:40");
}

TEST_F(Playback, TheNextEpisodeIsFetchedOnlyPast601PerMille) {
  hp.http.reply(config.server_base + "h.asp?id=12&v=1&v1=1", "第2集$http://media/e1.mp4$qvod");
  play_online();
  player().set(dispid::kDownloadProgress, Variant(601));
  w->Timer1_Timer();
  EXPECT_EQ(w->nextMedia, "0");
  player().set(dispid::kDownloadProgress, Variant(602));
  w->Timer1_Timer();
  EXPECT_EQ(w->nextMedia, "http://media/e1.mp4");
  EXPECT_EQ(w->nextLink,
            "eeqvod://qvod&&&http%3A//media/e1.mp4&&&天龙&&&第2集&&&12&&&1&&&1");
  w->Timer1_Timer();  // the next tick buffers it
  EXPECT_TRUE(logged("player call 30 \"http://media/e1.mp4\""));
  EXPECT_TRUE(logged("balloon title=\"Tavori提示:\" text=\"开始缓冲下一集！\""));
  EXPECT_EQ(w->nextBuffering, 1);
  hp.log.clear();
  w->Timer1_Timer();
  EXPECT_FALSE(logged("player call 30"));
}

TEST_F(Playback, TheResumePositionIsAppliedOnce) {
  play_online("0", 1000);
  w->resumePos = 300;
  w->resumeDone = 0;
  w->Timer1_Timer();
  EXPECT_TRUE(logged("player put 10 \"300\""));
  EXPECT_EQ(w->resumeDone, 1);
  player().put(dispid::kPosition, Variant(20));  // the user seeks back
  hp.log.clear();
  w->Timer1_Timer();
  EXPECT_FALSE(logged("player put 10"));
  EXPECT_EQ(w->resumePos, 20);
}

TEST_F(Playback, TheEndOfPlayHandsOverToTheNextEpisode) {
  hp.http.reply(config.server_base + "h.asp?id=12&v=1&v1=1", "第2集$http://media/e1.mp4$qvod");
  hp.http.reply(config.server_base + "h.asp?id=12&v=1&v1=2", "1");
  play_online("0", 30);
  hp.loop.advance(35000);  // prefetch, buffer, near end, end of play, sentinel
  EXPECT_TRUE(logged("navigate Web4 " + config.server_base + "pp.htm?12-1-1-天龙-0"));
  EXPECT_TRUE(logged("player put 1 \"http://media/e1.mp4\""));
  EXPECT_EQ(w->filmKey, "12-1-1-天龙");
  EXPECT_EQ(w->nextLink, "1");  // the second episode is the last
  EXPECT_EQ(w->nextMedia, "1");
}

TEST_F(Playback, WithAutomaticPlayOffTheEndStopsAtTheSentinel) {
  hp.http.reply(config.server_base + "h.asp?id=12&v=1&v1=1", "第2集$http://media/e1.mp4$qvod");
  put_setting("S_q", "s_bo", "1");
  play_online("0", 30);
  hp.loop.advance(35000);
  EXPECT_FALSE(logged("player put 1 \"http://media/e1.mp4\""));
  EXPECT_EQ(w->zhun.caption(), "播放完毕");
  EXPECT_TRUE(w->Timer1.enabled());
  EXPECT_EQ(w->resumePos, 1);
}

TEST_F(Playback, StopRecordsTheProgressOnce) {
  ASSERT_EQ(w->itemKey, "0");
  dir.write("date.dat", "\r\n");
  play_online();
  hp.loop.advance(42000);
  w->bo_but_Click(1);
  EXPECT_NE(dir.read("date.dat").find("|1|0|42\r\n"), std::string::npos);
  EXPECT_EQ(w->lastPos, 0);
  EXPECT_FALSE(w->Timer1.enabled());
  EXPECT_EQ(w->zhun.caption(), "已停止");
  hp.log.clear();
  w->bo_but_Click(1);
  EXPECT_FALSE(logged("file written date.dat"));
}

TEST_F(Playback, OpeningAFileWhileAFilmPlaysRecordsTheFilmFirst) {
  play_online();
  hp.loop.advance(10000);
  // A path as the platform's file dialog gives it.
  const std::string film = std::string(1, kPathSeparator) + "films" + kPathSeparator + "my movie.mp4";
  hp.dialogs.files = {film};
  w->bo_but_Click(4);
  EXPECT_TRUE(logged("open-file title=\"选择播放文件\" filter=\"影音文件|*.rm;*.rmvb;*.wmv;"
                     "*.mp3;*wma;*mid;*wav;*mpg;*mp4|所有文件|*.*\""));
  EXPECT_NE(dir.read("date.dat").find("|1|0|10\r\n"), std::string::npos);
  EXPECT_EQ(gbk.to_utf8(dir.read("date_f.dat")), "my movie.mp4|" + film + "|0\r\n\r\n");
  EXPECT_EQ(w->itemKind, 2);
  EXPECT_EQ(w->itemKey, film);
  EXPECT_EQ(w->filmKey, "0");
  EXPECT_EQ(w->bo_name.caption(), "my movie.mp4");
  EXPECT_EQ(w->currentSection, 14);
  EXPECT_EQ(w->currentTab, 9);
  // A cancelled dialog changes nothing.
  hp.log.clear();
  w->bo_but_Click(4);
  EXPECT_FALSE(logged("player"));
}

TEST_F(Playback, WebPlayModePausesAndPlaysThePageNotThePlayer) {
  w->Web1.navigate("eeqvod://web&&&http%3A//media/w.mp4&&&%u7535%u5F71&&&1&&&7&&&1&&&0");
  EXPECT_EQ(w->webPlayMode, 1);
  EXPECT_TRUE(logged("navigate Web2 " + config.server_base + "play.htm?web$$$http%3A//media/w.mp4"));
  EXPECT_TRUE(w->Pic2.visible());
  EXPECT_FALSE(w->qvod.visible());
  EXPECT_EQ(w->bo_but(0).tooltip(), "暂停");
  EXPECT_EQ(w->itemKey, "0");
  EXPECT_FALSE(w->Timer1.enabled());
  hp.log.clear();
  w->bo_but_Click(0);
  EXPECT_FALSE(w->Pic2.visible());
  EXPECT_TRUE(w->qvod.visible());
  EXPECT_TRUE(w->bo_ad.visible());
  EXPECT_EQ(w->zhun.caption(), "已暂停");
  w->bo_but_Click(0);
  EXPECT_TRUE(w->Pic2.visible());
  EXPECT_FALSE(w->qvod.visible());
  EXPECT_EQ(w->zhun.caption(), "正在播放");
  EXPECT_FALSE(logged("player"));
}

TEST_F(Playback, MuteFullScreenAndTheStepButtons) {
  play_online();
  w->bo_but_Click(2);
  EXPECT_TRUE(logged("player put 3 \"-1\""));
  EXPECT_EQ(w->bo_but(2).tooltip(), "取消静音");
  EXPECT_EQ(w->bo_but(2).picture().id, "but8");
  w->bo_but_Click(2);
  EXPECT_TRUE(logged("player put 3 \"0\""));
  EXPECT_EQ(w->bo_but(2).picture().id, "but7");
  w->bo_but_Click(3);
  EXPECT_TRUE(logged("player put 5 \"-1\""));
  player().set(dispid::kPlayState, Variant(2));
  hp.log.clear();
  w->bo_but_Click(3);
  EXPECT_FALSE(logged("player put 5"));
}

TEST_F(Playback, TransportFacesAndTheirTooltipBox) {
  w->bo_but_MouseMove(1, {0, 0, 5, 5});
  EXPECT_EQ(w->bo_but(1).picture().id, "but6");
  EXPECT_TRUE(w->p1.visible());
  EXPECT_EQ(w->bo_tip.caption(), "停止");
  const int width_before = w->p1.width();
  w->bo_but_MouseMove(7, {0, 0, 5, 5});
  EXPECT_EQ(w->bo_but(7).picture().id, "but19");
  EXPECT_EQ(w->p1.left(), w->bo_but(7).left() + w->bo_but(7).width() - width_before / 2 - 16);
  EXPECT_EQ(w->p1.top(), w->scale_height() - 50);
  w->bo_but_MouseMove(7, {0, 0, 50, 5});
  EXPECT_EQ(w->bo_but(7).picture().id, "but18");
  EXPECT_FALSE(w->p1.visible());
  w->bo_but_MouseMove(6, {0, 0, 5, 5});
  const int p1_width = w->p1.width();
  w->bo_but_MouseMove(6, {0, 0, 5, 5});
  EXPECT_EQ(w->p1.left(), w->bo_but(6).left() + w->bo_but(6).width() - p1_width / 2 - 11);
}

}  // namespace
}  // namespace tav
