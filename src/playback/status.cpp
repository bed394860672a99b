// The status tick: once a second the player's state, speed, position and
// download reach the status label, the play button, the seek bar and the
// time label; the resume position is applied once; the next episode is
// fetched and buffered ahead; the end of the film hands over to it.
#include "playback/status.h"

#include <cmath>

#include "base/attempt.h"
#include "base/text.h"
#include "forms/ba1.h"
#include "tray/tray_icon.h"
#include "web/link_protocol.h"

namespace tav {

std::string formatTime(int s) {
  if (s < 0) s = 0;
  const int h = s / 3600, m = (s % 3600) / 60, sec = (s % 3600) % 60;
  auto two = [](int v) { return v < 10 ? "0" + to_text(v) : to_text(v); };
  return h == 0 ? two(m) + ":" + two(sec) : to_text(h) + ":" + two(m) + ":" + two(sec);
}

namespace {

bool is_marker(const std::string& link) {
  return link.empty() || link == "0" || link == "1" || link == "3";
}

// The status text of a play state other than 3; nothing for unknown ones.
const char* state_text(int state) {
  switch (state) {
    case 1: return "已停止";
    case 2: return "已暂停";
    case 5: return "等待中";
    case 6: return "播放结束";
    case 7: return "准备读";
    case 8: return "重连中";
    case 9: return "BT种子下载中";
    case 11: return "正在停止";
    default: return nullptr;
  }
}

constexpr int kTickMs = 1000, kQuickTickMs = 250;

bool on_its_way(int state) { return state == 4 || state == 5 || (state >= 7 && state <= 10); }

}  // namespace

void BA1::watchFilmStart() {
  attempt([&] {
    if (on_its_way(player.play_state())) Timer1.set_interval(kQuickTickMs);
  });
}

void BA1::Timer1_Timer() {
  // A failing call on the player ends this tick; the next one tries again.
  attempt([&] {
    if (player.address().empty()) {
      Timer1.set_interval(kTickMs);
      bo_but(0).set_picture(but(2).picture());
      bo_but(0).set_tooltip("播放");
      zhun.set_caption("准备就绪");
      huan.set_left(-30);
      return;
    }
    if (!bo_zt.visible()) bo_zt.set_visible(true);
    lastPos = player.position();

    const int d = player.duration();
    const int p = player.position();
    if (d - 2 < p && p > 0) {
      Timer2.set_enabled(true);
      if (to_int32(setting("S_q", "s_pao")) != 2) return;
      if (!is_marker(nextLink)) showBalloon(*this, "正在准备播放下一集！");
    }

    const int speed = player.download_speed();
    const int progress = player.download_progress();
    if (progress > 601 && nextMedia != "1" && nextBuffering == 0) {
      if (nextMedia != "0") {
        player.prebuffer(nextMedia);
        nextBuffering = 1;
        if (to_int32(setting("S_q", "s_pao")) == 2) showBalloon(*this, "开始缓冲下一集！");
      } else {
        prefetchNextEpisode();
      }
    }

    const int state = player.play_state();
    // The cover comes off at the first tick that finds the film playing:
    // while one is on its way (connecting, waiting, buffering), the tick
    // comes four times a second, so that the film's first second is not
    // spent behind the cover.
    Timer1.set_interval(on_its_way(state) ? kQuickTickMs : kTickMs);
    if (state == 3) {
      if (resumePos > 0 && resumeDone == 0) {
        if (player.position() < resumePos) player.set_position(resumePos);
        resumeDone = 1;
      }
      if (bo_ad.visible()) {
        bo_ad.set_visible(false);
        QvodC.set_visible(true);
      }
      resumePos = player.position();
      next_s.set_visible(false);
      bo_but(0).set_tooltip("暂停");
      bo_but(0).set_picture(but(1).picture());
      if (speed > 0 && player.position() > 6) {
        zhun.set_caption("播放中(" + to_text(speed) + " Kbps/S)");
      } else {
        zhun.set_caption("播放中(" + to_text(player.bit_rate()) + " Kbps)");
      }
    } else {
      bo_ad.set_visible(true);
      QvodC.set_visible(false);
    }

    if (state == 0 || state == 1 || state == 2) {
      bo_but(0).set_tooltip("播放");
      bo_but(0).set_picture(but(2).picture());
    }
    if (state == 0) {
      zhun.set_caption(player.address().empty() ? "准备就绪" : "播放完毕");
    } else if (state == 4) {
      zhun.set_caption("正在缓冲 (" + to_text(speed) + "Kbps/S)");
    } else if (state == 10) {
      zhun.set_caption("正在连接 (" + to_text(speed) + "KB/S)  请等待大约30秒，即可观看");
    } else if (const char* text = state_text(state)) {
      zhun.set_caption(text);
    }

    const int position = player.position();
    const int duration = player.duration();
    times.set_caption(formatTime(position) + " / " + formatTime(duration));
    const int track = gunt.width() - gunt1.width();
    gunt1.set_left(duration != 0
                       ? static_cast<int>(std::lround(static_cast<double>(position) / duration * track))
                       : 0);
    times.set_left(qvod.width() - times.width() - 13);
    gunt1.set_tooltip(formatTime(position));

    const int downloaded = player.download_progress();
    if (downloaded > 0) {
      huan.move(0, huan.top(), gunt.width() * downloaded / 1000, huan.height());
    } else {
      huan.move(-30, huan.top(), 0, huan.height());
    }
  });
  publishMediaState();
}

void BA1::Timer2_Timer() {
  bo_ad.set_visible(true);
  QvodC.set_visible(false);
  zhun.set_caption("播放完毕");
  Timer2.set_enabled(false);
  resumePos = 1;
  lastPos = 1;
  if (nextLink != "3") {
    if (nextLink.empty() || nextLink == "0" || nextLink == "1") return;
    Timer1.set_enabled(false);
    next_s.set_visible(true);
  }
  Web2.navigate(std::string(kSentinelAddress));
}

void BA1::Timer4_Timer() {
  ++retryTicks;
  if (retryTicks < 2) return;
  Timer4.set_enabled(false);
  prefetchNextEpisode();
  nextBuffering = 0;
  retryTicks = 0;
}

}  // namespace tav
