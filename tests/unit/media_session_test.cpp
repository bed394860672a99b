// The desktop's media controls and screen saver: requests act as the
// transport buttons and the keys do; what plays reaches the desktop.
#include <gtest/gtest.h>

#include <algorithm>

#include "headless_fixture.h"

namespace tav {
namespace {

class MediaSession : public test::HeadlessTest {
 protected:
  void SetUp() override {
    w = start();
    ASSERT_TRUE(w);
    w->backend_resized(0, 0, 1000, 600);
    hp.log.clear();
  }
  FakePlayer& player() { return *hp.windows.player(); }
  MediaControls& controls() { return pf().media; }
  const MediaState& published() const { return hp.media.state; }
  int position() { return player().get(dispid::kPosition).to_int(); }
  // Episode v1 of series 12 plays in the player control.
  void play_online(const std::string& v1 = "0", int duration = 100) {
    player().durations["http://media/"] = duration;
    w->Web1.navigate("eeqvod://qvod&&&http%3A//media/e" + v1 +
                     ".mp4&&&%u5929%u9F99&&&%u7B2C1%u96C6&&&12&&&1&&&" + v1);
  }
  bool requested(const std::string& part) const {
    const auto& r = hp.http.requests;
    return std::any_of(r.begin(), r.end(),
                       [&](const std::string& u) { return u.find(part) != std::string::npos; });
  }
  std::unique_ptr<BA1> w;
};

TEST_F(MediaSession, TheTickPublishesTheFilmItsLengthAndThatItPlays) {
  hp.loop.advance(1000);
  EXPECT_EQ(published().status, MediaStatus::Stopped);
  EXPECT_FALSE(published().has_media);
  EXPECT_EQ(published().title, "");
  play_online("0", 100);
  hp.loop.advance(5000);
  EXPECT_EQ(published().status, MediaStatus::Playing);
  EXPECT_TRUE(published().has_media);
  EXPECT_EQ(published().title, w->bo_name.caption());
  EXPECT_NE(published().title, "");
  EXPECT_EQ(published().length_s, 100);
  EXPECT_EQ(published().position_s, position());
  EXPECT_GT(published().position_s, 0);
  EXPECT_EQ(published().volume, player().get(dispid::kVolume).to_int());
  EXPECT_TRUE(published().can_go_next);
}

TEST_F(MediaSession, PlayPauseAndPauseActAsThePlayButton) {
  play_online();
  hp.loop.advance(3000);
  hp.log.clear();
  controls().on_play_pause();
  EXPECT_TRUE(logged("player call 13"));
  EXPECT_EQ(w->bo_but(0).tooltip(), "播放");
  EXPECT_EQ(w->zhun.caption(), "已暂停");
  EXPECT_EQ(published().status, MediaStatus::Paused);
  // Pause while paused changes nothing; Play plays.
  hp.log.clear();
  controls().on_pause();
  EXPECT_FALSE(logged("player call"));
  controls().on_play();
  EXPECT_TRUE(logged("player call 12"));
  EXPECT_EQ(w->bo_but(0).tooltip(), "暂停");
  EXPECT_EQ(published().status, MediaStatus::Playing);
  hp.log.clear();
  controls().on_play();
  EXPECT_FALSE(logged("player call"));
  controls().on_pause();
  EXPECT_TRUE(logged("player call 13"));
}

TEST_F(MediaSession, StopRecordsThePositionAsTheStopButtonDoes) {
  dir.write("date.dat", "\r\n");
  play_online();
  hp.loop.advance(42000);
  controls().on_stop();
  EXPECT_NE(dir.read("date.dat").find("|1|0|42\r\n"), std::string::npos);
  EXPECT_TRUE(logged("player call 14"));
  EXPECT_FALSE(w->Timer1.enabled());
  EXPECT_EQ(w->zhun.caption(), "已停止");
  EXPECT_EQ(published().status, MediaStatus::Stopped);
}

TEST_F(MediaSession, NextAndPreviousRequestTheNeighbouringEpisodes) {
  play_online("3");
  hp.loop.advance(1000);
  EXPECT_TRUE(published().can_go_next);
  EXPECT_TRUE(published().can_go_previous);
  controls().on_next();
  EXPECT_TRUE(requested("v1=4"));
  EXPECT_FALSE(requested("v1=2"));
  controls().on_previous();
  EXPECT_TRUE(requested("v1=2"));
  EXPECT_TRUE(w->bo_but(5).enabled());
  EXPECT_TRUE(w->bo_but(6).enabled());
}

TEST_F(MediaSession, SeekStepsAndClampsAsTheArrowKeysDo) {
  play_online("0", 100);
  hp.loop.advance(20000);
  const int at = position();
  controls().on_seek(-10);
  EXPECT_EQ(position(), at - 10);
  EXPECT_TRUE(w->Timer1.enabled());
  ASSERT_FALSE(hp.media.seeks.empty());
  EXPECT_EQ(hp.media.seeks.back(), at - 10);
  // The keys land on the same place.
  w->Form_KeyDown(39, 0);
  EXPECT_EQ(position(), at);
  controls().on_set_position(40);
  EXPECT_EQ(position(), 40);
  EXPECT_EQ(published().position_s, 40);
  // Past the end: two seconds before it (paused, the control reports the
  // position as put); past the start: at 0.
  controls().on_pause();
  hp.log.clear();
  controls().on_seek(500);
  EXPECT_TRUE(logged("player put 10 \"540\""));
  EXPECT_TRUE(logged("player put 10 \"98\""));
  EXPECT_EQ(position(), 98);
  controls().on_seek(-500);
  EXPECT_TRUE(logged("player put 10 \"-402\""));
  EXPECT_EQ(position(), 0);
  EXPECT_EQ(hp.media.seeks.back(), 0);
}

TEST_F(MediaSession, SeekBeforeAnythingPlaysLeavesThePlayerAlone) {
  hp.loop.advance(1000);
  hp.log.clear();
  controls().on_seek(10);
  controls().on_set_position(30);
  EXPECT_FALSE(logged("player put 10"));
}

TEST_F(MediaSession, VolumeUnmutesAndMovesTheKnobAsTheVolumeKeysDo) {
  play_online();
  hp.loop.advance(1000);
  w->bo_but_Click(2);  // muted
  ASSERT_EQ(w->bo_but(2).tooltip(), "取消静音");
  hp.log.clear();
  controls().on_set_volume(80);
  EXPECT_TRUE(logged("player put 3 \"0\""));
  EXPECT_EQ(w->bo_but(2).tooltip(), "静音");
  EXPECT_EQ(player().get(dispid::kVolume).to_int(), 80);
  EXPECT_EQ(w->zhun.caption(), "音量：80%");
  EXPECT_EQ(w->bo_v.left(), (w->yin.width() - w->bo_v.width()) * 80 / 100);
  EXPECT_EQ(published().volume, 80);
  controls().on_set_volume(250);
  EXPECT_EQ(player().get(dispid::kVolume).to_int(), 100);
  // The up key from 70 gives the same.
  controls().on_set_volume(70);
  const int knob_by_controls = w->bo_v.left();
  w->Form_KeyDown(38, 0);
  EXPECT_EQ(player().get(dispid::kVolume).to_int(), 80);
  controls().on_set_volume(80);
  EXPECT_NE(knob_by_controls, w->bo_v.left());
}

TEST_F(MediaSession, TheScreenSaverIsHeldOffOnlyWhileAFilmPlays) {
  hp.loop.advance(2000);
  EXPECT_FALSE(hp.screen_saver.inhibited);
  play_online();
  hp.loop.advance(2000);
  EXPECT_TRUE(hp.screen_saver.inhibited);
  EXPECT_TRUE(logged("screen saver inhibited"));
  // Every tick does not ask again.
  hp.loop.advance(5000);
  EXPECT_EQ(hp.screen_saver.changes, 1);
  w->bo_but_Click(0);  // pause
  hp.loop.advance(1000);
  EXPECT_FALSE(hp.screen_saver.inhibited);
  w->bo_but_Click(0);  // play
  hp.loop.advance(1000);
  EXPECT_TRUE(hp.screen_saver.inhibited);
  // Stop ends the tick: the stop itself releases it.
  w->bo_but_Click(1);
  EXPECT_FALSE(hp.screen_saver.inhibited);
  EXPECT_EQ(hp.screen_saver.changes, 4);
}

TEST_F(MediaSession, ThePageInTheWebPlayerDoesNotHoldTheScreenSaver) {
  w->Web1.navigate("eeqvod://web&&&http%3A//media/w.mp4&&&%u7535%u5F71&&&1&&&7&&&1&&&0");
  hp.loop.advance(3000);
  EXPECT_FALSE(hp.screen_saver.inhibited);
}

TEST_F(MediaSession, UnloadingTheWindowWithdrawsTheControlsAndReleasesTheScreen) {
  play_online();
  hp.loop.advance(2000);
  ASSERT_TRUE(hp.screen_saver.inhibited);
  ASSERT_TRUE(hp.media.offered);
  w->unload();
  EXPECT_FALSE(hp.screen_saver.inhibited);
  EXPECT_FALSE(hp.media.offered);
  EXPECT_FALSE(controls().on_play_pause);
  w.reset();
  EXPECT_FALSE(controls().on_seek);
}

TEST_F(MediaSession, ARefusingPlayerIsNotAskedAgainForTheDesktop) {
  play_online();
  hp.loop.advance(2000);
  const int publishes = hp.media.publishes;
  hp.windows.player_faults.dispids.insert(dispid::kPosition);
  hp.log.clear();
  hp.loop.advance(3000);
  EXPECT_EQ(hp.log.count("player failed get 10"), 3u);
  EXPECT_EQ(hp.media.publishes, publishes);
  hp.windows.player_faults.dispids.clear();
  hp.loop.advance(1000);
  EXPECT_EQ(hp.media.publishes, publishes + 1);
}

}  // namespace
}  // namespace tav
