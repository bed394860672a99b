// The main window's load handler.
#include "base/attempt.h"
#include "base/text.h"
#include "forms/ba1.h"
#include "forms/tip.h"
#include "platform/event_loop.h"
#include "platform/images.h"
#include "platform/paths.h"
#include "platform/screen.h"
#include "platform/single_instance.h"
#include "tray/tray_icon.h"
#include "window/region.h"

namespace tav {

namespace {

// The placeholder pages of the TV panel and the episode panel.
constexpr std::string_view kPageHead =
    "<html><head><style type=\"text/css\">*{margin:0;padding:0;}body{overflow:auto;"
    "background:#070707;color:#FFFFFF; text-align:center; font-size:12px}</style></head>"
    "<body oncontextmenu=\"return false\" ondragstart=\"return false\">";
constexpr std::string_view kPageTail = "</body></html>";

}  // namespace

std::string placeholder_page_a() {
  return std::string(kPageHead) + "<br><br>正在加载电视，请稍后..." + std::string(kPageTail);
}

std::string placeholder_page_b() {
  return std::string(kPageHead) + "<br>没有正在播放的网络影片" + std::string(kPageTail);
}

bool BA1::ended() const { return pf.loop.ended(); }

void BA1::Form_Load() {
  // A second instance hands its command line to the first and ends.
  if (pf.instance.another_running()) {
    pf.instance.withdraw();
    attempt([&] { pf.instance.send(config.command_line); });
    pf.loop.end_process();
    return;
  }
  pf.instance.serve([this](const std::string& command) { Form_LinkExecute(command); });

  workArea = pf.screen.work_area();
  installSizeLimits(*this, pf.screen, 0, 0, workArea.width(), workArea.height());
  set_style(style() | 0x30000);

  settingsPath = join_path(config.app_folder, "config.ini");
  const std::string machine = setting("user", "Name");
  installedVersion = setting("ver", "Name");
  sizeMode = to_int32(setting("S_q", "s_size"));
  if (sizeMode == 2) {
    savedWidth = to_int32(setting("S_q", "h_w"));
    savedHeight = to_int32(setting("S_q", "h_h"));
    set_size(savedWidth, savedHeight);
  }

  // From here on a failing step is skipped.
  for (int i = 0; i <= 12; ++i) {
    attempt([&] {
      const Picture p = pf.images.load_resource(101 + i);
      if (!p.empty() && ppt.has(i)) ppt(i).set_picture(p);
    });
  }

  const int faces[][2] = {{0, 2}, {1, 3}, {2, 7}, {3, 11}, {4, 0}, {5, 14}, {6, 16}, {7, 18}};
  for (const auto& [button, face] : faces) bo_but(button).set_picture(but(face).picture());

  attempt([&] { Web1.navigate(server.library()); });
  attempt([&] { Web2.navigate("about:blank"); });
  attempt([&] { Webz2.navigate("about:blank"); });
  attempt([&] { Webz2.write_document(placeholder_page_a()); });
  attempt([&] { Webz3.navigate(server.second_library()); });
  attempt([&] { Web3.navigate(join_path(config.app_folder, kHistoryPage)); });
  attempt([&] { Web4.navigate("about:blank"); });
  attempt([&] { Web4.write_document(placeholder_page_b()); });
  attempt([&] { Web5.navigate(join_path(config.app_folder, kLocalPage)); });
  attempt([&] { Web6.navigate(server.usage_ping(machine)); });
  attempt([&] { Web7.navigate(server.player_ad()); });

  attempt([&] { installTray(*this, tip().r_m, caption()); });

  itemKey = "0";
  resumeDone = 0;
  webPlayMode = 0;
  libraryFailed = 0;
  buttonsPainted = 0;
  currentTab = 8;
  currentSection = 13;
  miniMode = 0;
  tvMode = 0;
  adFailed = 0;
  exitNotice = "0";

  attempt([&] { player.set_ad_page(server.player_ad()); });
  set_key_preview(true);
  if (!config.command_line.empty()) attempt([&] { l_com(config.command_line); });
}

}  // namespace tav
