// The desktop's media controls and screen saver: the media keys and the
// desktop's player widget act through the transport buttons, the seek keys
// and the volume keys; the status tick tells the desktop what plays and
// holds the screen saver off while a film plays in the player.
#include "base/attempt.h"
#include "base/text.h"
#include "forms/ba1.h"
#include "platform/media_controls.h"
#include "platform/screen_saver.h"

namespace tav {

void BA1::wire_media_controls() {
  MediaControls& m = pf.media;
  // Each request acts, then tells the desktop the outcome at once.
  auto act = [this](auto&& what) {
    return [this, what] {
      if (unloaded_) return;
      attempt([&] { what(); });
      publishMediaState();
    };
  };
  m.on_play_pause = act([this] { bo_but_Click(0); });
  m.on_play = act([this] {
    if (bo_but(0).tooltip() != "暂停") bo_but_Click(0);
  });
  m.on_pause = act([this] {
    if (bo_but(0).tooltip() == "暂停") bo_but_Click(0);
  });
  m.on_stop = act([this] { bo_but_Click(1); });
  m.on_next = act([this] { bo_but_Click(5); });
  m.on_previous = act([this] { bo_but_Click(6); });
  // As the seek keys do: the tick stops while the player seeks.
  auto seek = [this](int seconds) {
    attempt([&] {
      seekBy(seconds);
      pf.media.seeked(player.position());
    });
    Timer1.set_enabled(true);
    publishMediaState();
  };
  m.on_seek = [this, seek](int seconds) {
    if (!unloaded_) seek(seconds);
  };
  m.on_set_position = [this, seek](int seconds) {
    if (unloaded_) return;
    int position = 0;
    bool known = false;
    attempt([&] { position = player.position(), known = true; });
    if (known) seek(seconds - position);
  };
  m.on_set_volume = [this](int percent) {
    if (unloaded_) return;
    attempt([&] { applyVolume(percent < 0 ? 0 : percent > 100 ? 100 : percent); });
    publishMediaState();
  };
}

void BA1::unwire_media_controls() {
  MediaControls& m = pf.media;
  m.on_play_pause = m.on_play = m.on_pause = m.on_stop = m.on_next = m.on_previous = nullptr;
  m.on_seek = m.on_set_position = m.on_set_volume = nullptr;
  if (mediaOffered_) m.withdraw();
  mediaOffered_ = false;
  if (screenInhibited_) pf.screen_saver.inhibit(false);
  screenInhibited_ = false;
}

void BA1::publishMediaState() {
  // A player that has just refused a call is not asked again before the
  // next tick: the desktop keeps what it was told last.
  if (unloaded_ || player.last_call_refused()) return;
  MediaState s;
  int state = play_state::kReady;
  bool answered = false;
  attempt([&] {
    s.has_media = !player.address().empty() || webPlayMode == 1;
    if (!player.address().empty()) {
      s.length_s = player.duration();
      s.position_s = player.position();
      state = player.play_state();
    }
    s.volume = player.volume();
    answered = true;
  });
  if (!answered) return;
  if (s.has_media) s.title = bo_name.caption();
  if (bo_but(0).tooltip() == "暂停") {
    s.status = MediaStatus::Playing;
  } else if (state == play_state::kPaused || zhun.caption() == "已暂停") {
    s.status = MediaStatus::Paused;
  }
  if (!s.has_media) s.status = MediaStatus::Stopped;
  const bool series = filmKey != "0" && contains(filmKey, "-");
  s.can_go_next = s.can_go_previous = series;
  pf.media.publish(s);
  mediaOffered_ = true;

  // Only a film playing in the player holds the screen saver off.
  const bool inhibit = webPlayMode == 0 && state == play_state::kPlaying;
  if (inhibit != screenInhibited_) {
    screenInhibited_ = inhibit;
    pf.screen_saver.inhibit(inhibit);
  }
}

}  // namespace tav
