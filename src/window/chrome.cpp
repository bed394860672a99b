// Window behaviour of the borderless main window: caption buttons, tabs and
// sections, the custom tooltip, dragging and border resizing, mini mode.
#include "base/text.h"
#include "forms/ba1.h"
#include "forms/tip.h"
#include "platform/dialogs.h"
#include "platform/screen.h"
#include "platform/window_system.h"
#include "tray/tray_icon.h"

namespace tav {

namespace {

constexpr std::string_view kCloseQuestion = "关闭 Tavori 最小化到托盘吗？";
constexpr std::string_view kCloseTitle = "提示：";

struct Sprite {
  int sprite;  // index into ppt
  Rect source;
};

// The normal and pointer-over cut-outs of caption buttons 0 to 5.
struct Faces {
  Sprite normal, hover;
};

}  // namespace

void BA1::paintCaptionButton(int index, bool hover) {
  Faces f{};
  switch (index) {
    case 0: f = {{1, {97, 0, 33, 20}}, {2, {97, 0, 33, 20}}}; break;
    case 1:
      f = window_state() == WindowState::Maximized
              ? Faces{{4, {0, 0, 24, 19}}, {4, {24, 0, 24, 19}}}
              : Faces{{1, {72, 0, 24, 20}}, {2, {72, 0, 24, 20}}};
      break;
    case 2: f = {{1, {48, 0, 24, 20}}, {2, {48, 0, 24, 20}}}; break;
    case 3: f = {{1, {24, 0, 24, 20}}, {2, {24, 0, 24, 20}}}; break;
    case 4: f = {{1, {0, 0, 24, 20}}, {2, {0, 0, 24, 20}}}; break;
    case 5:
      f = npc(5).tooltip() == "取消置顶" ? Faces{{6, {42, 0, 21, 20}}, {6, {63, 0, 21, 20}}}
                                         : Faces{{6, {0, 0, 21, 20}}, {6, {21, 0, 21, 20}}};
      break;
    default: return;
  }
  const Sprite& s = hover ? f.hover : f.normal;
  npc(index).copy_from(ppt(s.sprite).picture(), s.source, 0, 0);
}

void BA1::npc_Click(int index) {
  p1.set_visible(false);
  switch (index) {
    case 0: {
      bool hide_window = false;
      if (to_int32(setting("S_q", "ts")) == 3) {
        put_setting("S_q", "ts", "1");
        const MsgAnswer a = pf.dialogs.message_box(kCloseQuestion, kCloseTitle, MsgButtons::YesNo,
                                                   MsgIcon::Question);
        if (a == MsgAnswer::Yes) {
          put_setting("S_q", "quit", "2");
          hide_window = true;
        } else {
          put_setting("S_q", "quit", "1");
          ttt_v();
        }
      } else if (to_int32(setting("S_q", "quit")) == 1) {
        ttt_v();
      } else {
        hide_window = true;
      }
      if (hide_window) {
        hideToTray(*this);
        paintCaptionButton(0, false);
        npc(0).refresh();
      }
      break;
    }
    case 1:
      if (window_state() == WindowState::Maximized) {
        set_window_state(WindowState::Normal);
        npc(1).set_tooltip("最大化");
        paintCaptionButton(1, false);
        if (contains(npc(7).tooltip(), "显示")) {
          savedWidth = to_int32(setting("S_q", "h_w"));
          savedHeight = to_int32(setting("S_q", "h_h"));
          set_width(clamp_int32(static_cast<long long>(savedWidth) - (l2.width() - 3) * 15));
          set_height(savedHeight);
        }
      } else {
        set_window_state(WindowState::Maximized);
        npc(1).set_tooltip("还原");
        paintCaptionButton(1, false);
      }
      npc(1).refresh();
      break;
    case 2:
      set_window_state(WindowState::Minimized);
      paintCaptionButton(2, false);
      npc(2).refresh();
      break;
    case 3:
      paintCaptionButton(3, false);
      npc(3).refresh();
      pf.windows.popup_menu(*this, tip().r_m, Point{npc(3).left() - 15, npc(3).top() + 20});
      break;
    case 4:
      set_window_state(WindowState::Normal);
      miniMode = 1;
      paintCaptionButton(4, false);
      npc(4).refresh();
      for (int i = 0; i <= 7; ++i) npc(i).set_visible(false);
      for (Control* c : {&l2, &bo_foot, &ni_name}) c->set_visible(false);
      jbi.set_visible(true);
      set_width(5800);
      set_height(4800);
      break;
    case 5:
      if (npc(5).tooltip() == "置顶") {
        npc(5).set_tooltip("取消置顶");
        zhi_d(1);
      } else {
        npc(5).set_tooltip("置顶");
        zhi_d(0);
      }
      break;
    case 7: {
      const bool maximized = window_state() == WindowState::Maximized;
      if (sideBarShown()) {
        npc(7).set_tooltip("显示侧栏");
        bo_but(7).set_tooltip("显示片库");
        l2.set_visible(false);
        if (!maximized) {
          set_width(clamp_int32(static_cast<long long>(width()) - (l2.width() - 3) * 15));
          break;
        }
      } else {
        l2.set_visible(true);
        npc(7).set_tooltip("关闭侧栏");
        bo_but(7).set_tooltip("隐藏片库");
        if (!maximized) {
          savedWidth = to_int32(setting("S_q", "h_w"));
          savedHeight = to_int32(setting("S_q", "h_h"));
          set_size(savedWidth, savedHeight);
          break;
        }
      }
      layoutPanels();
      layoutPlayerArea();
      break;
    }
    case 8:
    case 9:
    case 11: switchTab(index); break;
    case 10:
      zz2.set_visible(true);
      Webz2.navigate2(server.tv());
      tvMode = 1;
      bo_name.set_visible(false);
      layoutPanels();
      npc(15).set_visible(true);
      break;
    case 12:
    case 13:
    case 14: switchSection(index); break;
    case 15:
      tvMode = 0;
      npc(15).set_visible(false);
      Webz2.navigate("about:blank");
      zz2.set_visible(false);
      L1.set_visible(true);
      l2.set_visible(true);
      npc(4).set_enabled(true);
      bo_name.set_visible(true);
      layoutPanels();
      break;
    default: break;  // 6 is the separator
  }
}

void BA1::switchTab(int index) {
  if (index == currentTab) return;
  struct TabFace {
    int tab;
    Control* page;
    Rect selected, normal;
  };
  const TabFace tabs[] = {{8, &l3, {0, 0, 77, 25}, {77, 0, 77, 25}},
                          {9, &zz1, {154, 0, 77, 25}, {231, 0, 77, 25}},
                          {11, &zz3, {154, 25, 77, 25}, {231, 25, 77, 25}}};
  const TabFace* old_tab = nullptr;
  const TabFace* new_tab = nullptr;
  for (const TabFace& t : tabs) {
    if (t.tab == currentTab) old_tab = &t;
    if (t.tab == index) new_tab = &t;
  }
  if (!new_tab) return;
  const Picture& sprite = ppt(8).picture();
  if (old_tab) {
    npc(old_tab->tab).copy_from(sprite, old_tab->normal, 0, 0);
    old_tab->page->set_visible(false);
  }
  npc(index).copy_from(sprite, new_tab->selected, 0, 0);
  new_tab->page->set_visible(true);
  if (old_tab) npc(old_tab->tab).refresh();
  npc(index).refresh();
  currentTab = index;
}

void BA1::switchSection(int index) {
  if (index == currentSection) return;
  struct SectionFace {
    int section;
    Control* host;
    Rect normal, selected;
    const char* caption;
  };
  const SectionFace sections[] = {{12, &s2, {0, 0, 90, 29}, {90, 0, 90, 29}, "∴ 返回片库"},
                                  {13, &s1, {0, 29, 90, 29}, {90, 29, 90, 29}, "∴ 管理任务"},
                                  {14, &s3, {0, 58, 90, 29}, {90, 58, 90, 29}, "∴ 清空列表"}};
  const SectionFace* old_section = nullptr;
  const SectionFace* new_section = nullptr;
  for (const SectionFace& s : sections) {
    if (s.section == currentSection) old_section = &s;
    if (s.section == index) new_section = &s;
  }
  if (!new_section) return;
  const Picture& sprite = ppt(9).picture();
  if (old_section) {
    npc(old_section->section).copy_from(sprite, old_section->normal, 0, 0);
    old_section->host->set_visible(false);
  }
  npc(index).copy_from(sprite, new_section->selected, 0, 0);
  new_section->host->set_visible(true);
  qk.set_caption(new_section->caption);
  if (old_section) npc(old_section->section).refresh();
  npc(index).refresh();
  currentSection = index;
}

void BA1::npc_MouseMove(int index, const MouseEvent& e) {
  set_mouse_pointer(MousePointer::Default);
  if (index > 5) return;
  Control& button = npc(index);
  const bool inside = e.x >= 0 && e.x <= button.width() && e.y >= 0 && e.y <= button.height();
  paintCaptionButton(index, inside);
  button.refresh();
  if (inside) {
    pf.windows.set_capture(button);
    bo_tip.set_caption(button.tooltip());
    bo_tip.move(2, 2);
    p1.move(button.left() - 5, button.top() + button.height() + 3, bo_tip.width() + 5,
            bo_tip.height() + 5);
    p1.set_visible(true);
  } else {
    pf.windows.release_capture();
    p1.set_visible(false);
  }
}

void BA1::Form_MouseMove(const MouseEvent& e) {
  const int sw = scale_width(), sh = scale_height();
  const bool left_down = (e.button & 1) != 0;
  const bool interior = e.x > 3 && e.x < sw - 3 && e.y > 3 && e.y < sh - 3;
  const bool outside = e.x < 0 || e.y < 0 || e.x > sw || e.y > sh;
  if (left_down || interior || outside) {
    set_mouse_pointer(MousePointer::Default);
    if (window_state() != WindowState::Maximized && left_down && e.y > 3 && e.x > 3 &&
        e.x < sw - 3) {
      pf.windows.release_capture();
      pf.windows.start_system_move(*this);
    }
    return;
  }
  hitTestBorder(0, e.x, e.y);
}

void BA1::Form_MouseDown(const MouseEvent& e) {
  const int sw = scale_width(), sh = scale_height();
  const bool on_band = !(e.x > 3 && e.x < sw - 3 && e.y > 3 && e.y < sh - 3) && e.x >= 0 &&
                       e.y >= 0 && e.x <= sw && e.y <= sh;
  if (window_state() == WindowState::Maximized || !on_band) return;
  hitTestBorder(1, e.x, e.y);
}

void BA1::hitTestBorder(int mode, int x, int y) {
  set_mouse_pointer(MousePointer::Default);
  const int sw = scale_width(), sh = scale_height();
  MousePointer shape = MousePointer::Default;
  HitCode code = HitCode::None;
  if (x >= sw - 3 && y >= sh - 3) {
    shape = MousePointer::SizeNWSE, code = HitCode::BottomRight;
  } else if (x >= sw - 3 && y <= 3) {
    shape = MousePointer::SizeNESW, code = HitCode::TopRight;
  } else if (x >= sw - 3) {
    shape = MousePointer::SizeWE, code = HitCode::Right;
  } else if (x > 3 && y <= 3) {
    shape = MousePointer::SizeNS, code = HitCode::Top;
  } else if (x > 3 && y >= sh - 3) {
    shape = MousePointer::SizeNS, code = HitCode::Bottom;
  } else if (x > 3) {
    shape = MousePointer::Default, code = HitCode::None;
  } else if (y >= sh - 3) {
    shape = MousePointer::SizeNESW, code = HitCode::BottomLeft;
  } else if (y <= 3) {
    shape = MousePointer::SizeNWSE, code = HitCode::TopLeft;
  } else {
    shape = MousePointer::SizeWE, code = HitCode::Left;
  }
  set_mouse_pointer(shape);
  if (mode == 0 || code == HitCode::None) return;
  pf.windows.release_capture();
  pf.windows.start_system_resize(*this, code, [this] {
    // After the resize: keep the size for the next start, unless it is one
    // of the modes whose size is not the user's.
    if (tvMode != 1 && contains(npc(7).tooltip(), "关闭") && miniMode == 0) {
      put_setting("S_q", "h_w", to_text(width()));
      put_setting("S_q", "h_h", to_text(height()));
    }
  });
}

void BA1::Form_DblClick() {
  if (miniMode != 1) npc_Click(1);
}

void BA1::ni_name_DblClick() { Form_DblClick(); }

void BA1::jbi_Click() {
  miniMode = 0;
  for (int i = 0; i <= 7; ++i) npc(i).set_visible(true);
  bo_foot.set_visible(true);
  ni_name.set_visible(true);
  jbi.set_visible(false);
  npc(7).set_tooltip("关闭侧栏");
  bo_but(7).set_tooltip("隐藏片库");
  l2.set_visible(true);
  savedWidth = to_int32(setting("S_q", "h_w"));
  savedHeight = to_int32(setting("S_q", "h_h"));
  set_size(savedWidth, savedHeight);
  set_left((pf.screen.width_twips() - width()) / 2);
  set_top((pf.screen.height_twips() - height()) / 2);
}

void BA1::zhi_d(int flag) { set_top_most(flag == 1); }

}  // namespace tav
