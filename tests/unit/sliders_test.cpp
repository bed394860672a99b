// The seek bar, the volume slider and the playback keys.
#include <gtest/gtest.h>

#include "headless_fixture.h"

namespace tav {
namespace {

class Sliders : public test::HeadlessTest {
 protected:
  void SetUp() override {
    w = start();
    ASSERT_TRUE(w);
    w->backend_resized(0, 0, 1000, 600);
    player().durations["http://media/"] = 580;
    w->l_com("http://media/film.mp4");
    hp.loop.advance(1000);
    w->gunt.set_width(300);
    w->gunt1.set_width(10);
    w->yin.set_width(60);
    w->bo_v.set_width(10);
    hp.log.clear();
  }
  FakePlayer& player() { return *hp.windows.player(); }
  int position() { return player().get(10).to_int(); }
  MouseEvent left(int x) { return MouseEvent{1, 0, x, 0}; }
  std::unique_ptr<BA1> w;
};

TEST_F(Sliders, ATrackClickSeeksExactlyADraggedThumbTwoSecondsEarly) {
  w->gunt.on_mouse_down(left(145));
  w->gunt.on_mouse_up(left(145));
  EXPECT_TRUE(logged("player put 10 \"290\""));
  // The same place reached by dragging the thumb.
  w->gunt1.set_left(0);
  w->gunt1.on_mouse_move(left(145));
  EXPECT_EQ(w->gunt1.left(), 145);
  w->gunt1.on_mouse_up(left(0));
  EXPECT_TRUE(logged("player put 10 \"288\""));
  // At L = 2 there is no back-off.
  w->gunt1.set_left(0);
  w->gunt1.on_mouse_move(left(2));
  hp.log.clear();
  w->gunt1.on_mouse_up(left(0));
  EXPECT_TRUE(logged("player put 10 \"4\""));  // 2 / 290 * 580
}

TEST_F(Sliders, TheThumbIsHeldToTheTrackAndHalvesRoundToEven) {
  w->gunt1.set_left(0);
  w->gunt1.on_mouse_move(left(-40));
  EXPECT_EQ(w->gunt1.left(), 0);
  w->gunt1.on_mouse_move(left(5000));
  EXPECT_EQ(w->gunt1.left(), 290);
  w->gunt1.on_mouse_move(MouseEvent{2, 0, -100, 0});  // not the left button
  EXPECT_EQ(w->gunt1.left(), 290);
  // 1 / 290 * 145 = 0.5 seconds: halves go to the even number.
  player().durations["http://media/"] = 145;
  w->gunt.on_mouse_down(left(1));
  w->gunt.on_mouse_up(left(1));
  EXPECT_TRUE(logged("player put 10 \"0\""));
  w->gunt.on_mouse_down(left(3));
  w->gunt.on_mouse_up(left(3));
  EXPECT_TRUE(logged("player put 10 \"2\""));  // 1.5
}

TEST_F(Sliders, AClickOnTheBufferedBarIsInTwipsAndPastTheEndIsPulledBack) {
  w->huan.on_mouse_down(left(145 * 15));
  EXPECT_EQ(w->gunt1.left(), 145);
  w->huan.on_mouse_up(left(0));
  EXPECT_TRUE(logged("player put 10 \"288\""));
  // A click past the end of the track: the seek goes past the end and is
  // pulled back to two seconds before it (paused, the control reports the
  // position as put).
  w->bo_but_Click(0);
  w->gunt.on_mouse_down(left(299));
  w->gunt.on_mouse_up(left(299));
  EXPECT_TRUE(logged("player put 10 \"598\""));
  EXPECT_TRUE(logged("player put 10 \"578\""));
  EXPECT_EQ(position(), 578);
}

TEST_F(Sliders, AVolumeClickSetsTheKnobTheFilledPartAndTheStatus) {
  w->yin.on_mouse_down(left(25));
  EXPECT_EQ(w->bo_v.left(), 25);
  EXPECT_EQ(w->bo_y.width(), 25);
  EXPECT_TRUE(logged("player put 6 \"50\""));
  EXPECT_EQ(w->zhun.caption(), "音量：50%");
  w->yin.on_mouse_down(left(55));
  EXPECT_EQ(w->bo_v.left(), 50);
  EXPECT_TRUE(logged("player put 6 \"100\""));
  // The filled part's coordinates are twips.
  w->bo_y.on_mouse_down(left(750));
  EXPECT_EQ(w->bo_v.left(), 50);
  w->bo_y.on_mouse_down(left(300));
  EXPECT_EQ(w->bo_v.left(), 20);
  EXPECT_TRUE(logged("player put 6 \"40\""));
}

TEST_F(Sliders, ARefusedKnobDragStillUnmutes) {
  w->bo_but_Click(2);  // mute
  ASSERT_EQ(w->bo_but(2).tooltip(), "取消静音");
  w->bo_v.set_left(3);
  hp.log.clear();
  w->bo_v.on_mouse_move(left(-5));
  EXPECT_EQ(w->bo_v.left(), 3);
  EXPECT_EQ(w->bo_but(2).tooltip(), "静音");
  EXPECT_TRUE(logged("player put 3 \"0\""));
  EXPECT_FALSE(logged("player put 6"));
  // A drag on the track moves the knob and says its volume in its tooltip.
  w->bo_v.on_mouse_move(left(12));
  EXPECT_EQ(w->bo_v.left(), 15);
  EXPECT_EQ(w->bo_v.tooltip(), "30");
  EXPECT_EQ(w->zhun.caption(), "音量：30%");
}

TEST_F(Sliders, ATrackOfNoLengthSeeksToTheStart) {
  w->gunt.set_width(10);
  w->yin.set_width(10);
  w->gunt.on_mouse_down(left(5));
  w->gunt.on_mouse_up(left(5));
  EXPECT_TRUE(logged("player put 10 \"0\""));
  w->yin.on_mouse_down(left(5));
  EXPECT_TRUE(logged("player put 6 \"0\""));
}

class Keys : public Sliders {};

TEST_F(Keys, LeftFromFiveSecondsStopsAtTheStart) {
  w->bo_but_Click(0);  // paused
  player().put(10, Variant(5));
  w->Form_KeyDown(37, 0);
  EXPECT_TRUE(logged("player put 10 \"-5\""));
  EXPECT_EQ(position(), 0);
  EXPECT_EQ(w->gunt1.left(), 0);
  EXPECT_EQ(w->times.caption().substr(0, 5), "00:00");
  EXPECT_TRUE(w->Timer1.enabled());
}

TEST_F(Keys, RightPastTheEndLandsTwoSecondsBeforeIt) {
  player().durations["http://media/"] = 100;
  w->bo_but_Click(0);  // paused: the control reports the position as put
  player().put(10, Variant(95));
  hp.log.clear();
  w->Form_KeyDown(39, 1);  // shift makes no difference
  EXPECT_TRUE(logged("player put 10 \"105\""));
  EXPECT_TRUE(logged("player put 10 \"98\""));
  EXPECT_EQ(w->times.caption(), "01:38 / 01:40");
  EXPECT_EQ(w->gunt1.left(), 284);  // 98 / 100 * 290
}

TEST_F(Keys, AtTheStartArrowsSeekNothingButRestartTheTick) {
  w->bo_but_Click(1);  // stopped: the tick is off
  ASSERT_FALSE(w->Timer1.enabled());
  player().set(10, Variant(0));
  hp.log.clear();
  w->Form_KeyDown(39, 0);
  w->Form_KeyDown(37, 0);
  EXPECT_FALSE(logged("player put 10"));
  EXPECT_TRUE(w->Timer1.enabled());
  w->bo_but_Click(1);
  w->Form_KeyDown(65, 0);  // a key of no action restarts it too
  EXPECT_TRUE(w->Timer1.enabled());
}

TEST_F(Keys, UpWhileMutedUnmutesAndOneClickMutesAgain) {
  w->bo_but_Click(2);
  hp.log.clear();
  w->Form_KeyDown(38, 0);
  EXPECT_EQ(w->bo_but(2).tooltip(), "静音");
  EXPECT_TRUE(logged("player put 3 \"0\""));
  const int volume = player().get(6).to_int();
  EXPECT_EQ(w->zhun.caption(), "音量：" + std::to_string(volume) + "%");
  EXPECT_EQ(w->bo_v.left(), 50 * volume / 100);
  EXPECT_EQ(w->bo_y.width(), w->bo_v.left());
  w->bo_but_Click(2);
  EXPECT_EQ(w->bo_but(2).tooltip(), "取消静音");
  w->Form_KeyDown(40, 0);
  EXPECT_EQ(player().get(6).to_int(), volume - 10);
}

TEST_F(Keys, WithThePlayerAreaHiddenNoKeyActs) {
  w->qvod.set_visible(false);
  w->Timer1.set_enabled(false);
  for (const int key : {32, 37, 38, 39, 40}) w->Form_KeyDown(key, 0);
  EXPECT_FALSE(logged("player"));
  EXPECT_FALSE(w->Timer1.enabled());
}

TEST_F(Keys, SpacePausesAndPlays) {
  hp.loop.advance(1000);
  w->Form_KeyDown(32, 0);
  EXPECT_TRUE(logged("player call 13"));
  EXPECT_EQ(w->bo_but(0).tooltip(), "播放");
  w->Form_KeyDown(32, 0);
  EXPECT_EQ(w->bo_but(0).tooltip(), "暂停");
}

}  // namespace
}  // namespace tav
