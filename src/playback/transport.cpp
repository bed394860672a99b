// The transport buttons under the player.
#include "base/attempt.h"
#include "base/text.h"
#include "forms/ba1.h"
#include "platform/dialogs.h"
#include "platform/window_system.h"
#include "web/text_routines.h"

namespace tav {

namespace {

constexpr std::string_view kOpenFilter =
    "影音文件|*.rm;*.rmvb;*.wmv;*.mp3;*wma;*mid;*wav;*mpg;*mp4|所有文件|*.*";
constexpr std::string_view kOpenTitle = "选择播放文件";

}  // namespace

void BA1::paintTransportButton(int index, bool hover) {
  int normal = 0, over = 0;
  switch (index) {
    case 0:
      if (bo_but(0).tooltip() == "暂停") normal = 1, over = 4;
      else normal = 2, over = 5;
      break;
    case 1: normal = 3, over = 6; break;
    case 2:
      if (bo_but(2).tooltip() == "静音") normal = 7, over = 9;
      else normal = 8, over = 10;
      break;
    case 3: normal = 11, over = 12; break;
    case 4: normal = 0, over = 13; break;
    case 5: normal = 14, over = 15; break;
    case 6: normal = 16, over = 17; break;
    case 7: normal = 18, over = 19; break;
    default: return;
  }
  bo_but(index).set_picture(but(hover ? over : normal).picture());
}

void BA1::bo_but_Click(int index) {
  p1.set_visible(false);
  switch (index) {
    case 0: {
      if (webPlayMode == 0 && player.address().empty()) return;
      if (bo_but(0).tooltip() == "暂停") {
        bo_ad.set_visible(true);
        QvodC.set_visible(false);
        if (webPlayMode == 1) {
          Timer1.set_enabled(false);
          Web2.set_visible(false);
          Pic2.set_visible(false);
          qvod.set_visible(true);
        } else {
          player.pause();
        }
        bo_but(0).set_tooltip("播放");
        bo_but(0).set_picture(but(2).picture());
        zhun.set_caption("已暂停");
      } else {
        if (webPlayMode == 1) {
          Web2.set_visible(true);
          Pic2.set_visible(true);
          qvod.set_visible(false);
        } else {
          resumeDone = 0;
          player.play();
          Timer1.set_enabled(true);
        }
        bo_but(0).set_tooltip("暂停");
        bo_but(0).set_picture(but(1).picture());
        zhun.set_caption("正在播放");
      }
      publishMediaState();
      break;
    }
    case 1:
      if (webPlayMode == 1) {
        Web2.set_visible(false);
        Pic2.set_visible(false);
        qvod.set_visible(true);
        bo_ad.set_visible(true);
        QvodC.set_visible(false);
      } else {
        if (player.address().empty()) return;
        bo_ad.set_visible(true);
        QvodC.set_visible(false);
        if (itemKey != "0" && lastPos > 0) {
          if (itemKind == 1) lists.set_history_position(to_int32(itemKey), lastPos);
          if (itemKind == 2) lists.set_local_position(itemKey, lastPos);
        }
        lastPos = 0;
        Timer1.set_enabled(false);
        player.stop();
      }
      bo_but(0).set_tooltip("播放");
      bo_but(0).set_picture(but(2).picture());
      zhun.set_caption("已停止");
      publishMediaState();  // the status tick has stopped
      break;
    case 2:
      if (bo_but(2).tooltip() == "静音") {
        bo_but(2).set_tooltip("取消静音");
        player.set_mute(true);
        bo_but(2).set_picture(but(8).picture());
      } else {
        bo_but(2).set_tooltip("静音");
        player.set_mute(false);
        bo_but(2).set_picture(but(7).picture());
      }
      break;
    case 3:
      if (player.play_state() == 3) {
        bo_but(3).set_picture(but(11).picture());
        p1.set_visible(false);
        player.full_screen();
      }
      break;
    case 4: {
      bo_but(4).set_picture(but(0).picture());
      p1.set_visible(false);
      const std::string file = pf.dialogs.open_file(kOpenFilter, kOpenTitle);
      attempt([&] {
        if (file.empty()) return;
        if (webPlayMode == 0) bo_but_Click(1);
        player.set_address(file);
        player.play();
        Timer1.set_enabled(true);
        bo_name.set_caption(fit_width(pf.code_page, file_part(file), 30));
        lists.add_local_film(bo_name.caption(), file, 0);
        itemKind = 2;
        itemKey = file;
        resumeDone = 0;
        resumePos = 0;
        filmKey = nextLink = nextMedia = "0";
        nextBuffering = 0;
        if (webPlayMode == 1) {
          Pic2.set_visible(false);
          Web2.navigate("about:blank");
          qvod.set_visible(true);
        }
        webPlayMode = 0;
        npc_Click(14);
        npc_Click(9);
      });
      break;
    }
    case 5:
    case 6:
      bo_but(index).set_enabled(false);
      attempt([&] { stepEpisode(index == 5 ? 2 : 1); });
      bo_but(index).set_enabled(true);
      break;
    case 7:
      bo_but(7).set_picture(but(18).picture());
      npc_Click(7);
      break;
    default: break;
  }
}

void BA1::bo_but_MouseMove(int index, const MouseEvent& e) {
  Control& button = bo_but(index);
  const bool inside = e.x >= 0 && e.x <= button.width() && e.y >= 0 && e.y <= button.height();
  paintTransportButton(index, inside);
  if (!inside) {
    pf.windows.release_capture();
    p1.set_visible(false);
    return;
  }
  pf.windows.set_capture(button);
  bo_tip.set_caption(button.tooltip());
  bo_tip.move(3, 3);
  const int k = (index == 7 && miniMode == 0) ? 16 : 11;
  const int width_before = p1.width();
  p1.move(button.left() + button.width() - width_before / 2 - k, scale_height() - 50,
          bo_tip.width() + 6, bo_tip.height() + 6);
  p1.set_visible(true);
}

}  // namespace tav
