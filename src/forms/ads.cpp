#include "forms/ads.h"

#include "forms/ba1.h"
#include "platform/screen.h"

namespace tav {

namespace {

// 4500 x 3750 twips.
constexpr int kWidth = 4500;
constexpr int kHeight = 3750;

}  // namespace

AdWindow::AdWindow(BA1& main_window, std::string name, std::string page,
                   std::string close_picture, Rect close_size)
    : Form(std::move(name)),
      main(main_window),
      Picture1(add(nullptr, "Picture1", -1, ControlKind::Image, close_size)),
      Pc1(add(nullptr, "Pc1", -1, ControlKind::PictureBox, {0, 0, kWidth / 15, kHeight / 15})),
      Web1([this]() -> Browser& {
        auto b = std::make_unique<Browser>(*this, &Pc1, "Web1");
        Browser& ref = *b;
        add(std::move(b));
        return ref;
      }()),
      page_(std::move(page)),
      close_right_(close_size.x),
      close_top_(close_size.y) {
  Picture1.set_picture(Picture{std::move(close_picture), close_size.w, close_size.h});
  set_borderless(true);
  set_size(kWidth, kHeight);
  on_resize = [this] { Form_Resize(); };
  Web1.on_download_begin = [this] { Web1.set_silent(true); };
  // A click on the advertisement opens its page in a window of its own and
  // closes this one.
  Web1.on_new_window = [this](bool&) { unload_self(); };
  Picture1.on_click = [this] { unload_self(); };
  // Closed from the window manager (Alt+F4, the task bar): as the close
  // picture.
  on_close_request = [this] { unload_self(); };
  Form_Resize();
}

void AdWindow::Form_Resize() {
  if (window_state() == WindowState::Minimized) return;
  Pc1.move(0, 0, scale_width(), scale_height());
  Web1.move(-2, -2, Pc1.width() + 4, Pc1.height() + 4);
  Picture1.move(Pc1.width() - close_right_, close_top_);
}

void AdWindow::unload_self() {
  if (on_unload) on_unload();
}

Adsb::Adsb(BA1& main_window)
    : AdWindow(main_window, "adsb", main_window.server.floating_ad(), "close11", {18, 8, 11, 11}) {
  // It comes by itself, 50 s after start: keys typed meanwhile stay where
  // they were going.
  set_shown_without_focus(true);
}

// The lower right corner of the screen; the margin at the bottom keeps it
// above a task bar of the usual height.
void Adsb::Form_Load() {
  const Screen& screen = main.pf.screen;
  set_left(screen.width_twips() - width() - 80);
  set_top(screen.height_twips() - height() - 450);
  set_top_most(true);
  show();
  Web1.navigate(page_);
}

Ba4::Ba4(BA1& main_window)
    : AdWindow(main_window, "ba4", main_window.server.notice_ad(), "close51", {55, 5, 51, 21}),
      Timer1(add_timer("Timer1", 20000, true)) {
  set_caption("推荐");
  Timer1.on_tick = [this] {
    Timer1.set_enabled(false);
    unload_self();
  };
}

void Ba4::Form_Load() {
  const Screen& screen = main.pf.screen;
  set_left((screen.width_twips() - width()) / 2);
  set_top((screen.height_twips() - height()) / 2);
  show();
  Web1.navigate(page_);
}

}  // namespace tav
