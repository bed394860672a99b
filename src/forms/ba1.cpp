// The main window as designed: every control with its design-time place,
// size, caption and tooltip, the timers, and the state fields' first values.
// Sizes chosen here are those no layout pass overrides before the window is
// first laid out.
#include "forms/ba1.h"

#include "base/attempt.h"
#include "forms/ads.h"
#include "forms/ba3.h"
#include "forms/tip.h"
#include "platform/event_loop.h"
#include "platform/single_instance.h"
#include "platform/window_system.h"

namespace tav {

namespace {

constexpr Color kPanel = 0x070707;
constexpr Color kText = 0x9C9C81;
constexpr Color kVideo = 0x000000;
constexpr Color kAccent = 0x80A8FF;

// Design-time size of the window: 949 x 480 pixels.
constexpr int kDesignWidth = 14235;
constexpr int kDesignHeight = 7200;

}  // namespace

Control& BA1::pb(Control* parent, const std::string& name, Rect r, bool visible) {
  Control& c = add(parent, name, -1, ControlKind::PictureBox, r);
  c.set_visible(visible);
  return c;
}

Control& BA1::label(Control* parent, const std::string& name, Rect r, const std::string& caption,
                    bool auto_size) {
  Control& c = add(parent, name, -1, ControlKind::Label, r);
  c.set_auto_size(auto_size);
  c.set_caption(caption);
  return c;
}

Control& BA1::image(Control* parent, const std::string& name, int index,
                    const std::string& picture, Rect r, bool visible) {
  Control& c = add(parent, name, index, ControlKind::Image, r);
  c.set_picture(Picture{picture, r.w, r.h});
  c.set_visible(visible);
  return c;
}

Browser& BA1::browser(Control* parent, const std::string& name) {
  auto b = std::make_unique<Browser>(*this, parent, name);
  Browser& ref = *b;
  add(std::move(b));
  ref.move(-2, -2, parent ? parent->width() + 4 : 100, parent ? parent->height() + 4 : 100);
  return ref;
}

PlayerSite& BA1::player_site(Control* parent, const std::string& name, Rect r) {
  auto p = std::make_unique<PlayerSite>(*this, parent, name);
  PlayerSite& ref = *p;
  add(std::move(p));
  ref.move(r.x, r.y, r.w, r.h);
  ref.set_back_color(kVideo);
  return ref;
}

Control& BA1::other(const std::string& name) {
  Control& c = add(nullptr, name, -1, ControlKind::Timerless, Rect{});
  c.set_visible(false);
  return c;
}

ControlArray BA1::array(Control* parent, const std::string& name, int first, int last, Rect r,
                        bool visible) {
  ControlArray a;
  for (int i = first; i <= last; ++i) {
    Control& c = add(parent, name, i, ControlKind::PictureBox, r);
    c.set_visible(visible);
    a.add(i, c);
  }
  return a;
}

void BA1::add_npc(Control* parent, int first, int last, Rect r) {
  for (int i = first; i <= last; ++i) {
    Control& c = add(parent, "npc", i, ControlKind::PictureBox, r);
    npc.add(i, c);
  }
}

BA1::BA1(Platform& platform, AppConfig cfg)
    : Form("BA1"),
      pf(platform),
      config(std::move(cfg)),
      server(config.server_base),
      store{platform.files, platform.code_page},
      lists(platform.files, platform.code_page, config.app_folder, this),
      p1(pb(nullptr, "p1", {0, 0, 60, 22}, false)),
      bo_tip(label(&p1, "bo_tip", {2, 2, 0, 0}, "", true)),
      ppt(array(nullptr, "ppt", 0, 10, {}, false)),
      npc(array(nullptr, "npc", 0, 7, {0, 0, 24, 20}, true)),
      zz2(pb(nullptr, "zz2", {3, 28, 943, 449}, false)),
      Webz2(browser(&zz2, "Webz2")),
      tj(pb(nullptr, "tj", {0, 0, 1, 1}, false)),
      Web6(browser(&tj, "Web6")),
      dde(pb(nullptr, "dde", {}, false)),
      Inet1(other("Inet1")),
      CommonDialog1(other("CommonDialog1")),
      L1(pb(nullptr, "L1", {3, 28, 457, 449})),
      bo_foot(pb(&L1, "bo_foot", {0, 418, 457, 31})),
      bo_but(array(&bo_foot, "bo_but", 0, 7, {0, 3, 25, 25}, true)),
      yin(pb(&bo_foot, "yin", {0, 11, 60, 10})),
      bo_v(pb(&yin, "bo_v", {0, 0, 8, 10})),
      bo_y(label(&yin, "bo_y", {0, 4, 0, 2}, "", false)),
      Pic2(pb(&L1, "Pic2", {0, 0, 457, 418}, false)),
      Web2(browser(&Pic2, "Web2")),
      qvod(pb(&L1, "qvod", {0, 0, 457, 418})),
      bo_zt(pb(&qvod, "bo_zt", {0, 390, 457, 20}, false)),
      zhun(label(&bo_zt, "zhun", {13, 0, 0, 0}, "准备就绪", true)),
      times(label(&bo_zt, "times", {0, 0, 0, 0}, "00:00 /00:00", true)),
      bo_ad(pb(&qvod, "bo_ad", {0, 0, 457, 390})),
      ad_huan(pb(&bo_ad, "ad_huan", {78, 70, 300, 250}, false)),
      Web7(browser(&ad_huan, "Web7")),
      adp(image(&bo_ad, "adp", -1, "adp", {108, 135, 240, 120}, true)),
      next_s(label(&bo_ad, "next_s", {108, 265, 0, 0}, "正准备播放下一集，请稍后...", true)),
      gunt(pb(&qvod, "gunt", {0, 410, 457, 8})),
      gunt1(pb(&gunt, "gunt1", {0, 0, 12, 8})),
      huan(label(&gunt, "huan", {0, 0, 0, 8}, "", false)),
      QvodC(player_site(&qvod, "QvodC", {0, 0, 457, 390})),
      l2(pb(nullptr, "l2", {461, 28, 486, 449})),
      zz3(pb(&l2, "zz3", {0, 0, 486, 418}, false)),
      Webz3(browser(&zz3, "Webz3")),
      zz1(pb(&l2, "zz1", {0, 0, 486, 418}, false)),
      ppw1((add_npc(&zz1, 12, 14, {20, 50, 90, 29}), pb(&zz1, "ppw1", {109, 35, 357, 368}))),
      s3(pb(&ppw1, "s3", {1, 1, 355, 366}, false)),
      Web5(browser(&s3, "Web5")),
      s2(pb(&ppw1, "s2", {1, 1, 355, 366}, false)),
      Web4(browser(&s2, "Web4")),
      s1(pb(&ppw1, "s1", {1, 1, 355, 366})),
      Web3(browser(&s1, "Web3")),
      qk(label(&zz1, "qk", {396, 12, 90, 16}, "∴ 管理任务", false)),
      lfoot(pb(&l2, "lfoot", {3, 418, 485, 31})),
      l3((add_npc(&lfoot, 8, 11, {5, 1, 77, 25}), pb(&l2, "l3", {0, 0, 486, 418}))),
      Pic1(pb(&l3, "Pic1", {0, 0, 486, 418}, false)),
      Web1(browser(&Pic1, "Web1")),
      wait(pb(&l3, "wait", {0, 0, 486, 418})),
      jia1(image(&wait, "jia1", -1, "jia1", {163, 184, 160, 40}, false)),
      jia(image(&wait, "jia", -1, "jia", {163, 184, 160, 40}, true)),
      ttt(label(nullptr, "ttt", {}, "", false)),
      jbi(label(nullptr, "jbi", {0, 0, 12, 18}, "x", false)),
      but([this] {
        ControlArray a;
        for (int i = 0; i <= 19; ++i) {
          const bool wide = i == 1 || i == 2 || i == 4 || i == 5;
          a.add(i, image(nullptr, "but", i, "but" + std::to_string(i),
                         {0, 0, wide ? 50 : 25, wide ? 30 : 25}, false));
        }
        return a;
      }()),
      bo_name(label(nullptr, "bo_name", {140, 7, 0, 0}, "", true)),
      ni_bo1(label(nullptr, "ni_bo1", {}, "", false)),
      ni_name(label(nullptr, "ni_name", {25, 7, 0, 0}, "Tavori 1.0", true)),
      Timer1(add_timer("Timer1", 1000, true)),
      Timer2(add_timer("Timer2", 2000, false)),
      Timer3(add_timer("Timer3", 10, true)),
      Timer4(add_timer("Timer4", 50000, false)),
      Timer5(add_timer("Timer5", 6000, true)),
      Timer6(add_timer("Timer6", 50000, false)),
      player(QvodC) {
  set_metrics(&pf.metrics);
  if (config.floating_ad_delay_ms > 0) Timer6.set_interval(config.floating_ad_delay_ms);
  set_borderless(true);
  set_caption("Tavori 1.0");
  set_size(kDesignWidth, kDesignHeight);

  // Caption buttons: sizes, and their tooltips (the buttons' state).
  const struct {
    int index;
    int w, h;
    const char* tooltip;
  } buttons[] = {{0, 33, 20, "关闭"},    {1, 24, 20, "最大化"}, {2, 24, 20, "最小化"},
                 {3, 24, 20, "主菜单"},  {4, 24, 20, "迷你模式"}, {5, 21, 20, "置顶"},
                 {6, 5, 18, ""},         {7, 3, 40, "关闭侧栏"}};
  for (const auto& b : buttons) {
    npc(b.index).move(0, 0, b.w, b.h);
    npc(b.index).set_tooltip(b.tooltip);
  }
  add_npc(nullptr, 15, 15, {220, 1, 100, 25});
  npc(15).set_visible(false);
  npc(15).set_tooltip("返回播放");
  const char* tab_tips[] = {"片库", "播放列表", "电视直播", "热播推荐"};
  for (int i = 8; i <= 11; ++i) npc(i).set_tooltip(tab_tips[i - 8]);
  const char* section_tips[] = {"剧集列表", "观看历史", "本机影片"};
  for (int i = 12; i <= 14; ++i) npc(i).set_tooltip(section_tips[i - 12]);

  // Transport buttons: their tooltips hold the play and mute state.
  const char* transport_tips[] = {"播放",   "停止",   "静音",   "全屏",
                                  "打开文件", "下一个", "上一个", "隐藏片库"};
  for (int i = 0; i <= 7; ++i) bo_but(i).set_tooltip(transport_tips[i]);
  bo_but(0).move(0, 1, 50, 30);

  // Colours of the skin.
  for (Control* c : {&L1, &qvod, &bo_ad, &Pic2}) c->set_back_color(kVideo);
  for (Control* c : {&l2, &zz1, &zz3, &l3, &wait, &bo_zt, &ppw1, &s1, &s2, &s3, &Pic1})
    c->set_back_color(kPanel);
  p1.set_back_color(0x1A1A1A);
  bo_tip.set_fore_color(kText);
  bo_tip.set_back_color(0x1A1A1A);
  for (Control* c : {&zhun, &times, &bo_name, &ni_name, &jbi}) c->set_fore_color(kText);
  qk.set_fore_color(kSystemWindowColor);
  next_s.set_fore_color(kWhite);
  next_s.set_visible(false);
  // Skinned buttons and slider parts show the bar behind their pictures.
  for (const auto& [i, c] : npc.items()) c->set_transparent(true);
  for (const auto& [i, c] : bo_but.items()) c->set_transparent(true);
  for (Control* c : {&yin, &bo_v, &gunt1}) c->set_transparent(true);
  bo_y.set_transparent(false);
  huan.set_transparent(false);
  bo_y.set_back_color(kAccent);
  huan.set_back_color(0x3A3A34);
  gunt.set_back_color(0x1C1C1C);
  yin.set_picture({"yin", 60, 10});
  bo_v.set_picture({"bo_v", 8, 10});
  gunt1.set_picture({"gunt1", 12, 8});
  jbi.set_visible(false);
  jbi.set_auto_size(true);

  tj.set_visible(false);
  wire_events();
  pf.windows.attach(*this);
}

BA1::~BA1() {
  unwire_media_controls();
  unload_tip();
  unload_ba3();
  unload_adsb();
  if (ba4_) retire(std::move(ba4_));
  pf.windows.detach(*this);
}

void BA1::retire(std::unique_ptr<Form> form) {
  pf.windows.detach(*form);
  retired_.push_back(std::move(form));
}

Tip& BA1::tip() {
  if (!tip_) {
    tip_ = std::make_unique<Tip>(*this);
    pf.windows.attach(*tip_);
  }
  return *tip_;
}

void BA1::unload_tip() {
  if (tip_) retire(std::move(tip_));
}

void BA1::unload_adsb() {
  if (adsb_) retire(std::move(adsb_));
}

void BA1::unload_ba4() {
  if (!ba4_) return;
  retire(std::move(ba4_));
  pf.loop.quit();
}

void BA1::Timer6_Timer() {
  Timer6.set_enabled(false);
  if (adsb_) return;
  adsb_ = std::make_unique<Adsb>(*this);
  adsb_->on_unload = [this] { unload_adsb(); };
  pf.windows.attach(*adsb_);
  adsb_->Form_Load();
}

void BA1::showNotice() {
  if (exitNotice != "1") {
    pf.loop.quit();
    return;
  }
  ba4_ = std::make_unique<Ba4>(*this);
  ba4_->on_unload = [this] { unload_ba4(); };
  pf.windows.attach(*ba4_);
  ba4_->Form_Load();
}

std::string BA1::setting(const std::string& section, const std::string& key) {
  return read_setting(store, settingsPath, section, key, "0");
}

void BA1::put_setting(const std::string& section, const std::string& key,
                      const std::string& value) {
  write_setting(store, settingsPath, section, key, value);
}

void BA1::list_page_written(std::string_view list_file) {
  if (list_file == kHistoryList) Web3.refresh2();
  if (list_file == kLocalList) Web5.refresh2();
}

void BA1::unload() {
  if (unloaded_) return;
  unloaded_ = true;
  for (const auto& t : timers()) t->set_enabled(false);
  unwire_media_controls();
  // A start of the program from now on is one of its own, also while the
  // notice window still stands.
  pf.instance.leave();
  hide();
}

void BA1::wire_events() {
  on_resize = [this] { Form_Resize(); };
  on_mouse_move = [this](const MouseEvent& e) { Form_MouseMove(e); };
  on_mouse_down = [this](const MouseEvent& e) { Form_MouseDown(e); };
  on_dbl_click = [this] { Form_DblClick(); };
  on_close_request = [this] { npc_Click(0); };
  for (const auto& [i, c] : npc.items()) {
    const int index = i;
    c->on_click = [this, index] { npc_Click(index); };
    c->on_mouse_move = [this, index](const MouseEvent& e) { npc_MouseMove(index, e); };
  }
  ni_name.on_dbl_click = [this] { ni_name_DblClick(); };
  jbi.on_click = [this] { jbi_Click(); };
  // Leaving a button for the background puts the arrow back.
  for (Control* c : {&bo_ad, &bo_foot, &lfoot, &jbi})
    c->on_mouse_move = [this](const MouseEvent&) { set_mouse_pointer(MousePointer::Default); };
  zz1.on_mouse_move = [this](const MouseEvent&) {
    set_mouse_pointer(MousePointer::Default);
    qk.set_fore_color(kSystemWindowColor);
  };
  qk.on_mouse_move = [this](const MouseEvent&) {
    set_mouse_pointer(MousePointer::Default);
    qk.set_fore_color(0x8080FF);
  };
  for (const auto& [i, c] : bo_but.items()) {
    const int index = i;
    c->on_click = [this, index] { attempt([&] { bo_but_Click(index); }); };
    c->on_mouse_move = [this, index](const MouseEvent& e) { bo_but_MouseMove(index, e); };
  }
  adp.on_click = [this] { attempt([&] { bo_but_Click(0); }); };
  for (Control* image : {&jia, &jia1}) {
    image->on_click = [this] {
      Web1.navigate(server.library());
      Pic1.set_visible(true);
      wait.set_visible(false);
    };
  }
  Timer1.on_tick = [this] { Timer1_Timer(); };
  player.on_play = [this] { watchFilmStart(); };
  Timer2.on_tick = [this] { attempt([&] { Timer2_Timer(); }); };
  Timer4.on_tick = [this] { attempt([&] { Timer4_Timer(); }); };
  Timer3.on_tick = [this] { Timer3_Timer(); };
  Timer5.on_tick = [this] { Timer5_Timer(); };
  Timer6.on_tick = [this] { attempt([&] { Timer6_Timer(); }); };
  Web1.on_before_navigate = [this](const std::string& url, bool& cancel) {
    Web1_BeforeNavigate2(url, cancel);
  };
  Web2.on_before_navigate = [this](const std::string& url, bool& cancel) {
    Web2_BeforeNavigate2(url, cancel);
  };
  Web4.on_before_navigate = [this](const std::string& url, bool& cancel) {
    Web4_BeforeNavigate2(url, cancel);
  };
  Web5.on_before_navigate = [this](const std::string& url, bool& cancel) {
    Web5_BeforeNavigate2(url, cancel);
  };
  Web3.on_before_navigate = [this](const std::string& url, bool& cancel) {
    Web3_BeforeNavigate2(url, cancel);
  };
  qk.on_click = [this] { qk_Click(); };
  wire_panel_events();
  wire_slider_events();
  wire_media_controls();
}

}  // namespace tav
