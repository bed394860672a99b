// The main window's layout pass: every panel, the player area and the
// control bar follow the window's size and mode.
#include "base/attempt.h"
#include "base/text.h"
#include "forms/ba1.h"
#include "window/region.h"

namespace tav {

namespace {

Rect whole(const Picture& p) { return {0, 0, p.width, p.height}; }

}  // namespace

bool BA1::sideBarShown() const { return contains(npc(7).tooltip(), "关闭"); }

void BA1::Form_Resize() {
  if (window_state() == WindowState::Minimized) return;
  if (miniMode == 1) {
    layoutMiniMode();
    return;
  }
  if (window_state() != WindowState::Maximized) {
    const int min_width = sideBarShown() ? 13000 : 6800;
    if (width() < min_width) set_width(min_width);
    if (height() < 6000) set_height(6000);
  }

  const int sw = scale_width();
  npc(0).move(sw - 40, 0, 33, 20);
  npc(1).move(npc(0).left() - 26, 0, 24, 20);
  npc(2).move(npc(1).left() - 24, 0, 24, 20);
  npc(6).move(npc(2).left() - 7, 0, 5, 18);
  npc(3).move(npc(6).left() - 28, 0, 24, 20);
  npc(4).move(npc(3).left() - 24, 0, 24, 20);
  npc(5).move(npc(4).left() - 21, 0, 21, 20);

  for (int i = 8; i <= 11; ++i) npc(i).move(5 + (i - 8) * 80, 1, 77, 25);
  for (int i = 12; i <= 14; ++i) npc(i).move(20, i == 12 ? 50 : i == 13 ? 89 : 129, 90, 29);
  npc(15).move(220, 1, 100, 25);

  paintFrame();
  if (buttonsPainted == 0) {
    paintCaptionButtons();
    buttonsPainted = 1;
  }
  ni_name.move(25, 7);
  layoutPanels();
  layoutPlayerArea();
}

void BA1::layoutPanels() {
  const int sw = scale_width(), sh = scale_height();
  if (tvMode == 1) {
    L1.set_visible(false);
    l2.set_visible(false);
    npc(4).set_enabled(false);
    zz2.move(3, 28, sw - 6, sh - 31);
    Webz2.move(-1, -2, zz2.scale_width() + 4, zz2.scale_height() + 4);
    return;
  }
  l2.move(sw - 488, 28, 486, sh - 31);
  l3.move(0, 0, l2.scale_width(), l2.scale_height() - 31);
  lfoot.move(3, l2.scale_height() - 31, l2.scale_width() - 1, 31);
  lfoot.stretch_from(ppt(5).picture(), whole(ppt(5).picture()), {0, 0, lfoot.scale_width(), 31});
  lfoot.refresh();

  const bool shown = sideBarShown();
  L1.move(3, 28, shown ? sw - 489 : sw - 6, sh - 31);
  npc(7).move(shown ? L1.scale_width() : L1.scale_width() + 1, (sh - 40) / 2, 3, 40);
  npc(7).copy_from(ppt(7).picture(), {shown ? 0 : 3, 0, 3, 40}, 0, 0);
  npc(7).refresh();

  Pic1.move(0, 0, l3.scale_width(), l3.scale_height());
  for (Control* page : {&zz1, &zz3, &wait}) page->move(0, 0, Pic1.scale_width(), Pic1.scale_height());
  Webz3.move(-1, -2, Pic1.scale_width() + 3, Pic1.scale_height() + 4);
  Web1.move(-1, -2, Pic1.scale_width() + 4, Pic1.scale_height() + 4);
  Web2.move(-1, -2, Pic2.scale_width() + 4, Pic2.scale_height() + 4);

  jia.move((wait.width() - jia.width()) / 2, (l2.height() - jia.height()) / 2 - 20);
  jia1.move(jia.left(), jia.top());

  qk.move(zz1.scale_width() - 90, 12);
  ppw1.move(109, 35, zz1.scale_width() - 129, zz1.scale_height() - 50);
  for (Control* host : {&s1, &s2, &s3})
    host->move(1, 1, ppw1.scale_width() - 2, ppw1.scale_height() - 2);
  for (Browser* list : {&Web3, &Web4, &Web5})
    list->move(-2, -2, ppw1.scale_width() + 3, ppw1.scale_height() + 4);
}

void BA1::layoutPlayerArea() {
  if (miniMode == 1) {
    Pic2.move(0, 0, L1.scale_width(), L1.scale_height());
    qvod.move(0, 0, Pic2.scale_width(), Pic2.scale_height());
    gunt.move(0, qvod.height() - gunt.height(), qvod.width(), gunt.height());
  } else {
    Pic2.move(0, 0, L1.scale_width(), L1.scale_height() - 31);
    qvod.move(0, 0, Pic2.scale_width(), Pic2.scale_height());
    bo_foot.move(0, L1.height() - 31, qvod.width(), 31);
    bo_foot.stretch_from(ppt(5).picture(), whole(ppt(5).picture()),
                         {0, 0, bo_foot.scale_width(), 31});
    bo_foot.refresh();
    gunt.move(0, bo_foot.top() - gunt.height(), bo_foot.width(), gunt.height());
  }
  Web2.move(-2, -2, Pic2.width() + 4, Pic2.height() + 4);
  bo_zt.move(0, gunt.top() - bo_zt.height(), qvod.width(), bo_zt.height());
  QvodC.move(0, 0, qvod.width(), bo_zt.top());
  bo_ad.move(0, 0, QvodC.width(), QvodC.height());
  ad_huan.move((bo_ad.width() - 300) / 2, (bo_ad.height() - 250) / 2, 300, 250);
  Web7.move(-2, -2, ad_huan.scale_width() + 4, ad_huan.scale_height() + 4);
  adp.move((bo_ad.width() - adp.width()) / 2, (bo_ad.height() - adp.height()) / 2);
  next_s.move(adp.left(), adp.top() + adp.height() + 10);

  if (miniMode == 1) {
    zhun.set_auto_size(false);
    zhun.move(13, 0, 100, zhun.height());
  } else {
    zhun.set_auto_size(true);
    zhun.move(13, 0);
  }
  times.move(qvod.width() - times.width() - 13, 0);

  bo_but(7).move(bo_foot.scale_width() - 32, 3);
  bo_but(4).move(bo_but(7).left() - 26, 3);
  bo_but(3).move(bo_but(4).left() - 26, 3);
  yin.move(bo_but(3).left() - yin.width() - 10, 11);
  int volume = 0;
  attempt([&] { volume = player.volume(); });
  bo_v.move((yin.width() - bo_v.width()) * volume / 100, 0);
  bo_y.move(0, 4, bo_v.left(), 2);
  bo_but(2).move(yin.left() - 26, 3);
  bo_but(1).move(12, 3);
  bo_but(6).move(bo_but(1).left() + 28, 3);
  bo_but(0).move(bo_but(1).left() + 55, 1);
  bo_but(5).move(bo_but(0).left() + 55, 3);

  attempt([&] {
    bo_name.move(miniMode == 1 ? 30 : 140, 7);
    huan.move(0, 0);
  });
}

void BA1::layoutMiniMode() {
  if (width() < 4100) set_width(4100);
  if (height() < 3000) set_height(3000);
  paintFrame();
  jbi.move(scale_width() - jbi.width() - 13, 0);
  ni_name.move(13, 5);
  L1.move(2, 20, scale_width() - 4, scale_height() - 23);
  layoutPlayerArea();
}

void BA1::paintFrame() {
  const Picture& skin = ppt(0).picture();
  const int sw = scale_width(), sh = scale_height();
  clear_drawing();
  stretch_from(skin, {0, 30, 36, 10}, {0, 30, 36, sh - 30});
  stretch_from(skin, {76, 30, 30, 10}, {sw - 30, 30, 30, sh - 30});
  stretch_from(skin, {36, 40, 40, 17}, {36, sh - 17, sw - 66, 17});
  copy_from(skin, {0, 40, 36, 17}, 0, sh - 17);
  copy_from(skin, {76, 40, 30, 17}, sw - 30, sh - 17);
  stretch_from(skin, {50, 0, 20, 30}, {50, 0, sw - 86, 30});
  copy_from(skin, {0, 0, 50, 30}, 0, 0);
  copy_from(skin, {70, 0, 36, 30}, sw - 36, 0);
  refresh();
  setWindowRegion(*this);
}

void BA1::paintCaptionButtons() {
  const struct {
    int button;
    int sprite;
    Rect source;
  } faces[] = {
      {0, 1, {97, 0, 33, 20}},   {1, 1, {72, 0, 24, 20}},  {2, 1, {48, 0, 24, 20}},
      {3, 1, {24, 0, 24, 20}},   {4, 1, {0, 0, 24, 20}},   {6, 3, {0, 0, 5, 18}},
      {5, 6, {0, 0, 21, 20}},    {8, 8, {0, 0, 77, 25}},   {9, 8, {231, 0, 77, 25}},
      {10, 8, {77, 25, 77, 25}}, {11, 8, {231, 25, 77, 25}}, {12, 9, {0, 0, 90, 29}},
      {13, 9, {90, 29, 90, 29}}, {14, 9, {0, 58, 90, 29}},
  };
  for (const auto& f : faces) npc(f.button).copy_from(ppt(f.sprite).picture(), f.source, 0, 0);
  npc(15).set_picture(ppt(10).picture());
  for (int i = 0; i <= 14; ++i)
    if (i != 7) npc(i).refresh();
}

}  // namespace tav
