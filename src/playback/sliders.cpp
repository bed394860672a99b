// The seek bar and the volume slider under the mouse, and the playback
// keys.
#include "base/attempt.h"
#include "base/text.h"
#include "forms/ba1.h"
#include "playback/status.h"

namespace tav {

namespace {

constexpr int kLeftButton = 1;

}  // namespace

// A track of no length stands for nothing: 0, where a division by it would
// end the handler.
int BA1::volumeOfKnob(int left) {
  const int track = yin.width() - bo_v.width();
  return track > 0 ? static_cast<int>(static_cast<double>(left) / track * 100) : 0;
}

void BA1::seek(SeekFrom from) {
  const int left = gunt1.left();
  const int track = gunt.width() - gunt1.width();
  const int duration = player.duration();
  double target = track != 0 ? static_cast<double>(left) / track * duration : 0.0;
  if (from == SeekFrom::Buffered || (from == SeekFrom::Thumb && left > 2)) target -= 2;
  player.set_position(static_cast<int>(round_half_even(target)));
  const int end = player.duration();
  if (player.position() > end) player.set_position(end - 2);
}

void BA1::unmute() {
  bo_but(2).set_tooltip("静音");
  bo_but(2).set_picture(but(7).picture());
  player.set_mute(false);
}

void BA1::showVolume() { zhun.set_caption("音量：" + to_text(player.volume()) + "%"); }

void BA1::setVolumeAt(int x) {
  unmute();
  const int track = yin.width() - bo_v.width();
  bo_v.set_left(x <= track ? x : track);
  bo_y.set_width(bo_v.left());
  player.set_volume(volumeOfKnob(bo_v.left()));
  showVolume();
}

void BA1::gunt_MouseDown(const MouseEvent& e) {
  if (e.button == kLeftButton) gunt1.set_left(e.x);
}

void BA1::gunt1_MouseMove(const MouseEvent& e) {
  if (e.button != kLeftButton) return;
  const int track = gunt.width() - gunt1.width();
  gunt1.set_left(std::max(0, std::min(gunt1.left() + e.x, track)));
}

void BA1::huan_MouseDown(const MouseEvent& e) {
  if (e.button == kLeftButton) gunt1.set_left(e.x / kTwipsPerPixel);
}

void BA1::yin_MouseDown(const MouseEvent& e) {
  if (e.button == kLeftButton) setVolumeAt(e.x);
}

void BA1::bo_y_MouseDown(const MouseEvent& e) {
  if (e.button == kLeftButton) setVolumeAt(e.x / kTwipsPerPixel);
}

void BA1::bo_v_MouseMove(const MouseEvent& e) {
  if (e.button != kLeftButton) return;
  unmute();
  const int track = yin.width() - bo_v.width();
  const int n = bo_v.left() + e.x;
  if (n < 0 || n > track) return;  // off the track: the knob stays
  bo_v.set_left(std::max(0, std::min(n, track)));
  bo_y.set_width(bo_v.left());
  player.set_volume(volumeOfKnob(bo_v.left()));
  bo_v.set_tooltip(to_text(volumeOfKnob(bo_v.left())));
  showVolume();
}

void BA1::redrawSeekBar() {
  const int position = player.position();
  const int duration = player.duration();
  const int track = gunt.width() - gunt1.width();
  gunt1.set_left(duration != 0 ? static_cast<int>(round_half_even(
                                     static_cast<double>(position) / duration * track))
                               : 0);
  times.set_caption(formatTime(position) + " / " + formatTime(duration));
}

void BA1::seekBy(int seconds) {
  Timer1.set_enabled(false);
  const int position = player.position();
  if (position <= 0) return;
  player.set_position(position + seconds);
  if (seconds < 0) {
    if (player.position() < 0) player.set_position(0);
  } else {
    const int duration = player.duration();
    if (player.position() > duration) player.set_position(duration - 2);
  }
  redrawSeekBar();
}

void BA1::applyVolume(int percent) {
  unmute();
  player.set_volume(percent);
  const int volume = player.volume();
  zhun.set_caption("音量：" + to_text(volume) + "%");
  bo_v.set_left((yin.width() - bo_v.width()) * volume / 100);
  bo_y.set_width(bo_v.left());
}

void BA1::Form_KeyDown(int key, int) {
  if (!qvod.visible()) return;
  attempt([&] {
    switch (key) {
      case 32:
        bo_but_Click(0);
        break;
      case 37:
      case 39:
        seekBy(key == 37 ? -10 : 10);
        break;
      case 38:
      case 40:
        applyVolume(player.volume() + (key == 38 ? 10 : -10));
        break;
      default:
        break;
    }
  });
  Timer1.set_enabled(true);
}

void BA1::wire_slider_events() {
  gunt.on_mouse_down = [this](const MouseEvent& e) { gunt_MouseDown(e); };
  gunt.on_mouse_up = [this](const MouseEvent&) { attempt([&] { seek(SeekFrom::Track); }); };
  gunt1.on_mouse_move = [this](const MouseEvent& e) { gunt1_MouseMove(e); };
  gunt1.on_mouse_up = [this](const MouseEvent&) { attempt([&] { seek(SeekFrom::Thumb); }); };
  huan.on_mouse_down = [this](const MouseEvent& e) { huan_MouseDown(e); };
  huan.on_mouse_up = [this](const MouseEvent&) { attempt([&] { seek(SeekFrom::Buffered); }); };
  yin.on_mouse_down = [this](const MouseEvent& e) { attempt([&] { yin_MouseDown(e); }); };
  bo_y.on_mouse_down = [this](const MouseEvent& e) { attempt([&] { bo_y_MouseDown(e); }); };
  bo_v.on_mouse_move = [this](const MouseEvent& e) { attempt([&] { bo_v_MouseMove(e); }); };
  on_key_down = [this](int key, int shift) { Form_KeyDown(key, shift); };
}

}  // namespace tav
