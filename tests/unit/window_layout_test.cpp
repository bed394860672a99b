#include <gtest/gtest.h>

#include "headless_fixture.h"

namespace tav {
namespace {

class WindowLayout : public test::HeadlessTest {
 protected:
  void SetUp() override {
    w = start();
    ASSERT_TRUE(w);
  }
  // The user drags the window to a size in pixels.
  void user_resize(int width_px, int height_px) { w->backend_resized(0, 0, width_px, height_px); }
  std::unique_ptr<BA1> w;
};

TEST_F(WindowLayout, ANormalWindowIsRaisedToItsMinimumSize) {
  user_resize(300, 200);
  EXPECT_EQ(w->width(), 13000);
  EXPECT_EQ(w->height(), 6000);
  w->npc_Click(7);  // hide the side bar
  user_resize(300, 200);
  EXPECT_EQ(w->width(), 6800);
  EXPECT_EQ(w->height(), 6000);
}

TEST_F(WindowLayout, AMaximisedWindowIsNeverForcedToAMinimum) {
  hp.screen.area = {0, 0, 640, 360};
  w = start();
  w->npc_Click(1);
  EXPECT_EQ(w->window_state(), WindowState::Maximized);
  EXPECT_EQ(w->width(), 640 * 15);
  EXPECT_EQ(w->height(), 360 * 15);
  EXPECT_EQ(w->left(), 0);
  EXPECT_EQ(w->npc(1).tooltip(), "还原");
  w->npc_Click(1);
  EXPECT_EQ(w->window_state(), WindowState::Normal);
  EXPECT_EQ(w->width(), 14235);
  EXPECT_EQ(w->npc(1).tooltip(), "最大化");
}

TEST_F(WindowLayout, HidingTheSideBarTakesItsWidthOffThenSnapsToTheFloor) {
  w->set_width(13000);
  ASSERT_EQ(w->l2.width(), 486);
  std::vector<int> widths;
  w->on_resize = [&] {
    widths.push_back(w->width());
    w->Form_Resize();
  };
  w->npc_Click(7);
  ASSERT_GE(widths.size(), 2u);
  EXPECT_EQ(widths[0], 13000 - 7245);
  EXPECT_EQ(widths[1], 6800);
  EXPECT_EQ(w->width(), 6800);
  EXPECT_FALSE(w->l2.visible());
  EXPECT_EQ(w->npc(7).tooltip(), "显示侧栏");
  EXPECT_EQ(w->bo_but(7).tooltip(), "显示片库");
  // Showing it again takes the saved size.
  put_setting("S_q", "h_w", "15000");
  put_setting("S_q", "h_h", "9000");
  w->npc_Click(7);
  EXPECT_EQ(w->width(), 15000);
  EXPECT_EQ(w->height(), 9000);
  EXPECT_TRUE(w->l2.visible());
  EXPECT_EQ(w->npc(7).tooltip(), "关闭侧栏");
}

TEST_F(WindowLayout, CaptionButtonsStandAlongTheTopRight) {
  user_resize(1000, 600);
  ASSERT_EQ(w->scale_width(), 1000);
  const struct {
    int i, left, width, height;
  } places[] = {{0, 960, 33, 20}, {1, 934, 24, 20}, {2, 910, 24, 20}, {6, 903, 5, 18},
                {3, 875, 24, 20}, {4, 851, 24, 20}, {5, 830, 21, 20}};
  for (const auto& p : places) {
    EXPECT_EQ(w->npc(p.i).left(), p.left) << p.i;
    EXPECT_EQ(w->npc(p.i).top(), 0) << p.i;
    EXPECT_EQ(w->npc(p.i).width(), p.width) << p.i;
    EXPECT_EQ(w->npc(p.i).height(), p.height) << p.i;
  }
  EXPECT_EQ(w->npc(9).left(), 85);
  EXPECT_EQ(w->npc(14).top(), 129);
  EXPECT_EQ(w->npc(15).geometry(), (Rect{220, 1, 100, 25}));
}

TEST_F(WindowLayout, PanelsShareTheWidthWithTheSideBar) {
  user_resize(1000, 600);
  EXPECT_EQ(w->l2.geometry(), (Rect{512, 28, 486, 569}));
  EXPECT_EQ(w->L1.geometry(), (Rect{3, 28, 511, 569}));
  EXPECT_EQ(w->npc(7).geometry(), (Rect{511, 280, 3, 40}));
  EXPECT_EQ(w->lfoot.geometry(), (Rect{3, 538, 485, 31}));
  EXPECT_EQ(w->bo_foot.geometry(), (Rect{0, 538, 511, 31}));
  EXPECT_EQ(w->gunt.top(), 538 - w->gunt.height());
  EXPECT_EQ(w->QvodC.height(), w->bo_zt.top());
  EXPECT_EQ(w->Web1.geometry(), (Rect{-1, -2, 490, 542}));
  EXPECT_EQ(w->ppw1.geometry(), (Rect{109, 35, 357, 488}));
  EXPECT_EQ(w->qk.left(), 396);
  EXPECT_EQ(w->npc(7).drawing().back().source.x, 0);
  w->npc_Click(7);
  EXPECT_EQ(w->L1.width(), w->scale_width() - 6);
  EXPECT_EQ(w->npc(7).left(), w->L1.width() + 1);
  EXPECT_EQ(w->npc(7).drawing().back().source.x, 3);
}

TEST_F(WindowLayout, TransportButtonsAndTheKnobFollowTheVolume) {
  user_resize(1000, 600);
  EXPECT_EQ(w->bo_but(7).left(), 511 - 32);
  EXPECT_EQ(w->bo_but(4).left(), 511 - 58);
  EXPECT_EQ(w->bo_but(3).left(), 511 - 84);
  EXPECT_EQ(w->yin.left(), 511 - 84 - 60 - 10);
  EXPECT_EQ(w->bo_but(2).left(), w->yin.left() - 26);
  EXPECT_EQ(w->bo_but(1).left(), 12);
  EXPECT_EQ(w->bo_but(6).left(), 40);
  EXPECT_EQ(w->bo_but(0).geometry(), (Rect{67, 1, 50, 30}));
  EXPECT_EQ(w->bo_but(5).left(), 122);

  hp.windows.player()->set(6, Variant(0));
  w->layoutPlayerArea();
  EXPECT_EQ(w->bo_v.left(), 0);
  EXPECT_EQ(w->bo_y.width(), 0);
  hp.windows.player()->set(6, Variant(100));
  w->layoutPlayerArea();
  EXPECT_EQ(w->bo_v.left() + w->bo_v.width(), w->yin.width());
  EXPECT_EQ(w->bo_y.geometry(), (Rect{0, 4, w->bo_v.left(), 2}));
}

TEST_F(WindowLayout, TvModePlacesOnlyTheTvPanel) {
  user_resize(1000, 600);
  const Rect player_frame = w->L1.geometry();
  w->npc_Click(10);
  EXPECT_TRUE(logged("navigate Webz2 " + config.server_base + "/tv"));
  EXPECT_EQ(w->tvMode, 1);
  EXPECT_FALSE(w->L1.visible());
  EXPECT_FALSE(w->l2.visible());
  EXPECT_FALSE(w->npc(4).enabled());
  EXPECT_TRUE(w->npc(15).visible());
  EXPECT_FALSE(w->bo_name.visible());
  EXPECT_EQ(w->zz2.geometry(), (Rect{3, 28, 994, 569}));
  EXPECT_EQ(w->Webz2.geometry(), (Rect{-1, -2, 998, 573}));
  user_resize(1100, 600);
  EXPECT_EQ(w->zz2.width(), 1094);
  EXPECT_EQ(w->L1.geometry(), player_frame);  // not placed while the TV shows
  w->npc_Click(15);
  EXPECT_EQ(w->tvMode, 0);
  EXPECT_FALSE(w->zz2.visible());
  EXPECT_TRUE(w->L1.visible());
  EXPECT_TRUE(w->npc(4).enabled());
  EXPECT_EQ(w->L1.width(), 1100 - 489);
}

TEST_F(WindowLayout, MiniModeShowsOnlyThePlayer) {
  w->npc_Click(4);
  EXPECT_EQ(w->miniMode, 1);
  EXPECT_EQ(w->width(), 5800);
  EXPECT_EQ(w->height(), 4800);
  for (int i = 0; i <= 7; ++i) EXPECT_FALSE(w->npc(i).visible()) << i;
  EXPECT_FALSE(w->l2.visible());
  EXPECT_FALSE(w->bo_foot.visible());
  EXPECT_TRUE(w->jbi.visible());
  const int sw = w->scale_width(), sh = w->scale_height();
  EXPECT_EQ(w->L1.geometry(), (Rect{2, 20, sw - 4, sh - 23}));
  EXPECT_EQ(w->qvod.geometry(), (Rect{0, 0, sw - 4, sh - 23}));
  EXPECT_EQ(w->gunt.top(), w->qvod.height() - w->gunt.height());
  EXPECT_EQ(w->jbi.left(), sw - w->jbi.width() - 13);
  EXPECT_EQ(w->bo_name.left(), 30);
  EXPECT_EQ(w->zhun.width(), 100);
  EXPECT_EQ(w->region(), (WindowRegion{sw + 1, sh + 1, 4, 4}));
  // The floor of the mini mode.
  user_resize(100, 100);
  EXPECT_EQ(w->width(), 4100);
  EXPECT_EQ(w->height(), 3000);
  // Double-clicks do nothing here.
  w->Form_DblClick();
  w->ni_name_DblClick();
  EXPECT_EQ(w->window_state(), WindowState::Normal);
  // Leaving it takes the saved size, centred.
  put_setting("S_q", "h_w", "15000");
  put_setting("S_q", "h_h", "9000");
  w->jbi_Click();
  EXPECT_EQ(w->miniMode, 0);
  EXPECT_EQ(w->width(), 15000);
  EXPECT_EQ(w->left(), (1366 * 15 - 15000) / 2);
  EXPECT_EQ(w->top(), (768 * 15 - 9000) / 2);
  EXPECT_TRUE(w->l2.visible());
  EXPECT_FALSE(w->jbi.visible());
  EXPECT_EQ(w->bo_name.left(), 140);
}

TEST_F(WindowLayout, TheFrameIsANineSliceOfTheSkin) {
  user_resize(1000, 600);
  const auto& d = w->drawing();
  ASSERT_EQ(d.size(), 8u);
  EXPECT_EQ(d[0], (DrawOp{w->ppt(0).picture(), {0, 30, 36, 10}, {0, 30, 36, 570}}));
  EXPECT_EQ(d[2], (DrawOp{w->ppt(0).picture(), {36, 40, 40, 17}, {36, 583, 934, 17}}));
  EXPECT_EQ(d[7], (DrawOp{w->ppt(0).picture(), {70, 0, 36, 30}, {964, 0, 36, 30}}));
  EXPECT_EQ(w->region(), (WindowRegion{1001, 601, 4, 4}));
  EXPECT_EQ(w->npc(0).drawing().back().source, (Rect{97, 0, 33, 20}));
  EXPECT_EQ(w->npc(13).drawing().back().source, (Rect{90, 29, 90, 29}));
  EXPECT_EQ(w->npc(15).picture().id, "ppt10");
  EXPECT_EQ(w->buttonsPainted, 1);
}

}  // namespace
}  // namespace tav
