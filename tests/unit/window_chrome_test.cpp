#include <gtest/gtest.h>

#include "forms/tip.h"
#include "headless_fixture.h"

namespace tav {
namespace {

class WindowChrome : public test::HeadlessTest {
 protected:
  void SetUp() override {
    w = start();
    ASSERT_TRUE(w);
    w->backend_resized(0, 0, 1000, 600);
  }
  std::unique_ptr<BA1> w;
};

TEST_F(WindowChrome, TheCloseQuestionIsAskedOnceAndYesHidesToTheTray) {
  hp.dialogs.answers = {MsgAnswer::Yes};
  w->npc_Click(0);
  EXPECT_TRUE(logged("msgbox title=\"提示：\" text=\"关闭 Tavori 最小化到托盘吗？\" "
                     "buttons=YesNo icon=question -> Yes"));
  EXPECT_EQ(setting("S_q", "ts"), "1");
  EXPECT_EQ(setting("S_q", "quit"), "2");
  EXPECT_FALSE(w->visible());
  EXPECT_FALSE(hp.loop.quit_requested());
  w->show();
  w->npc_Click(0);
  EXPECT_EQ(logged_count("msgbox"), 1u);
  EXPECT_FALSE(w->visible());
  EXPECT_FALSE(hp.loop.quit_requested());
}

TEST_F(WindowChrome, AnsweringNoExitsNowAndLater) {
  hp.dialogs.answers = {MsgAnswer::No};
  w->npc_Click(0);
  EXPECT_EQ(setting("S_q", "ts"), "1");
  EXPECT_EQ(setting("S_q", "quit"), "1");
  EXPECT_TRUE(hp.loop.quit_requested());
  w = start();
  w->npc_Click(0);
  EXPECT_EQ(logged_count("msgbox"), 1u);
  EXPECT_EQ(logged_count("quit"), 2u);
}

TEST_F(WindowChrome, QuitOneExitsAndAnythingElseHides) {
  put_setting("S_q", "ts", "1");
  put_setting("S_q", "quit", "1");
  w->npc_Click(0);
  EXPECT_TRUE(hp.loop.quit_requested());
  EXPECT_FALSE(logged("msgbox"));
  w = start();
  put_setting("S_q", "ts", "2");
  put_setting("S_q", "quit", "x");
  w->npc_Click(0);
  EXPECT_FALSE(w->visible());
  EXPECT_EQ(logged_count("quit"), 1u);
}

TEST_F(WindowChrome, TabsAndSectionsSwapTheirSpritesAndPages) {
  w->npc_Click(9);
  EXPECT_EQ(w->currentTab, 9);
  EXPECT_EQ(w->npc(8).drawing().back().source, (Rect{77, 0, 77, 25}));
  EXPECT_EQ(w->npc(9).drawing().back().source, (Rect{154, 0, 77, 25}));
  EXPECT_FALSE(w->l3.visible());
  EXPECT_TRUE(w->zz1.visible());
  w->npc_Click(11);
  EXPECT_EQ(w->npc(9).drawing().back().source, (Rect{231, 0, 77, 25}));
  EXPECT_EQ(w->npc(11).drawing().back().source, (Rect{154, 25, 77, 25}));
  EXPECT_TRUE(w->zz3.visible());
  EXPECT_FALSE(w->zz1.visible());
  const std::size_t ops = w->npc(11).drawing().size();
  w->npc_Click(11);  // the current tab: nothing
  EXPECT_EQ(w->npc(11).drawing().size(), ops);

  EXPECT_EQ(w->qk.caption(), "∴ 管理任务");
  w->npc_Click(12);
  EXPECT_EQ(w->qk.caption(), "∴ 返回片库");
  EXPECT_EQ(w->npc(13).drawing().back().source, (Rect{0, 29, 90, 29}));
  EXPECT_EQ(w->npc(12).drawing().back().source, (Rect{90, 0, 90, 29}));
  EXPECT_TRUE(w->s2.visible());
  EXPECT_FALSE(w->s1.visible());
  w->npc_Click(14);
  EXPECT_EQ(w->qk.caption(), "∴ 清空列表");
  EXPECT_EQ(w->npc(14).drawing().back().source, (Rect{90, 58, 90, 29}));
  EXPECT_TRUE(w->s3.visible());
  EXPECT_EQ(w->currentSection, 14);
}

TEST_F(WindowChrome, PointerOverACaptionButtonShowsItsHoverImageAndTooltip) {
  w->npc_MouseMove(3, {0, 0, 10, 10});
  EXPECT_EQ(w->npc(3).drawing().back().image.id, "ppt2");
  EXPECT_EQ(w->npc(3).drawing().back().source, (Rect{24, 0, 24, 20}));
  EXPECT_EQ(hp.windows.captured(), &w->npc(3));
  EXPECT_TRUE(w->p1.visible());
  EXPECT_EQ(w->bo_tip.caption(), "主菜单");
  EXPECT_EQ(w->p1.left(), w->npc(3).left() - 5);
  EXPECT_EQ(w->p1.top(), 23);
  EXPECT_EQ(w->p1.width(), w->bo_tip.width() + 5);
  w->npc_MouseMove(3, {0, 0, 30, 10});
  EXPECT_EQ(w->npc(3).drawing().back().image.id, "ppt1");
  EXPECT_EQ(hp.windows.captured(), nullptr);
  EXPECT_FALSE(w->p1.visible());
  // Restore, pin.
  w->npc_Click(1);
  w->npc_MouseMove(1, {0, 0, 1, 1});
  EXPECT_EQ(w->npc(1).drawing().back(), (DrawOp{w->ppt(4).picture(), {24, 0, 24, 19}, {0, 0, 24, 19}}));
  w->npc_Click(5);
  EXPECT_TRUE(w->top_most());
  EXPECT_EQ(w->npc(5).tooltip(), "取消置顶");
  w->npc_MouseMove(5, {0, 0, 1, 1});
  EXPECT_EQ(w->npc(5).drawing().back().source, (Rect{63, 0, 21, 20}));
  w->npc_Click(5);
  EXPECT_FALSE(w->top_most());
}

TEST_F(WindowChrome, TheBorderBandSetsPointersAndResizesOnlyWhenNotMaximised) {
  const struct {
    int x, y;
    MousePointer shape;
  } band[] = {{999, 599, MousePointer::SizeNWSE}, {999, 0, MousePointer::SizeNESW},
              {998, 300, MousePointer::SizeWE},   {500, 2, MousePointer::SizeNS},
              {500, 598, MousePointer::SizeNS},   {0, 599, MousePointer::SizeNESW},
              {1, 1, MousePointer::SizeNWSE},     {2, 300, MousePointer::SizeWE}};
  for (const auto& b : band) {
    w->Form_MouseMove({0, 0, b.x, b.y});
    EXPECT_EQ(w->mouse_pointer(), b.shape) << b.x << "," << b.y;
  }
  w->Form_MouseMove({0, 0, 500, 300});
  EXPECT_EQ(w->mouse_pointer(), MousePointer::Default);

  w->npc_Click(1);  // maximise
  hp.log.clear();
  w->Form_MouseMove({0, 0, w->scale_width() - 1, 300});
  EXPECT_EQ(w->mouse_pointer(), MousePointer::SizeWE);
  w->Form_MouseDown({1, 0, w->scale_width() - 1, 300});
  w->Form_MouseMove({1, 0, 500, 300});  // a drag of the background
  EXPECT_FALSE(logged("system resize"));
  EXPECT_FALSE(logged("system move"));
}

TEST_F(WindowChrome, ABorderResizeSavesTheNewSizeWhenItEnds) {
  w->Form_MouseDown({1, 0, 999, 300});
  EXPECT_TRUE(logged("system resize BA1 11"));
  w->backend_resized(0, 0, 1100, 640);
  hp.windows.finish_system_resize();
  EXPECT_EQ(setting("S_q", "h_w"), "16500");
  EXPECT_EQ(setting("S_q", "h_h"), "9600");
  // Not with the side bar hidden.
  w->npc_Click(7);
  w->Form_MouseDown({1, 0, 0, 300});
  w->backend_resized(0, 0, 700, 640);
  hp.windows.finish_system_resize();
  EXPECT_EQ(setting("S_q", "h_w"), "16500");
}

TEST_F(WindowChrome, DraggingTheBackgroundMovesTheWindow) {
  w->Form_MouseMove({1, 0, 500, 10});
  EXPECT_TRUE(logged("system move BA1"));
}

TEST_F(WindowChrome, TheMenuButtonPopsUpTheMainMenuUnderItself) {
  w->npc_Click(3);
  EXPECT_TRUE(logged("popup r_m at " + std::to_string(w->npc(3).left() - 15) + ",20"));
}

TEST_F(WindowChrome, PointerResetsAndTheActionLabelsColour) {
  w->set_mouse_pointer(MousePointer::SizeWE);
  w->bo_foot.mouse_move({});
  EXPECT_EQ(w->mouse_pointer(), MousePointer::Default);
  w->qk.mouse_move({});
  EXPECT_EQ(w->qk.fore_color(), 0x8080FFu);
  w->zz1.mouse_move({});
  EXPECT_EQ(w->qk.fore_color(), kSystemWindowColor);
}

}  // namespace
}  // namespace tav
