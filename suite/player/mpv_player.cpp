#include "suite/player/mpv_player.h"

#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "suite/player/address.h"
#include "suite/player/mpv_api.h"
#include "suite/player/mpv_player_parts.h"
#include "suite/player/source_choice.h"
#include "suite/player/video_view.h"

namespace tav::suite {

using namespace mpv_player_parts;

namespace {

constexpr int kLoadMpvAfterMs = 1000;  // after the player is made

}  // namespace

MpvPlayer::MpvPlayer(QWidget* parent, const PlayerOptions& options, std::string suite_folder)
    : suite_folder_(std::move(suite_folder)) {
  settings_ = load_qvod_settings(suite_folder_);
  // libmpv loads in the background a while after the player is made: a
  // program that makes the player while it builds its window has shown it
  // and loaded its first pages by then, and the load (a few hundred
  // libraries) does not compete with that. mpv itself is made when the
  // first film plays, which starts the load at once if it has not started
  // and waits for it.
  QTimer::singleShot(kLoadMpvAfterMs, this, [] { start_loading_mpv(); });
  output_ = options.headless ? VideoOutput::None : preferred_video_output();
  if (options.headless) return;
  view_ = new VideoView(parent, output_);
  connect(view_, &VideoView::failed, this, [this](const QString& why) { set_unavailable(why); });
  connect(view_, &VideoView::became_ready, this, [this] {
    if (phase_ == Phase::Waiting) load();
  });
  // The keys and the bar of full screen.
  connect(view_, &VideoView::controls_shown, this, [this] { update_full_screen_bar(); });
  connect(view_, &VideoView::pause_toggle_requested, this, [this] {
    const int state = play_state();
    if (state == 0 || state == 1 || state == 2)
      play();
    else
      pause();
    update_full_screen_bar();
  });
  connect(view_, &VideoView::seek_requested, this, [this](int second) {
    seek(second);
    update_full_screen_bar();
  });
  connect(view_, &VideoView::seek_step_requested, this, [this](int step) {
    const int at = position(), length = duration();
    int target = std::max(0, at + step);
    // As the window's own keys do: a step past the end stops short of it.
    if (length > 0 && target > length) target = std::max(0, length - 2);
    seek(target);
    update_full_screen_bar();
  });
  connect(view_, &VideoView::volume_step_requested, this, [this](int points) {
    put(6, volume_ + points);
    if (view_) view_->show_volume(volume_);
  });
}

void MpvPlayer::update_full_screen_bar() {
  if (!view_ || !view_->full_screen()) return;
  const int state = play_state();
  view_->show_playback(position(), duration(), state == 0 || state == 1 || state == 2);
}

MpvPlayer::~MpvPlayer() {
  // The service's downloads go on without this player.
  terminal_.reset();
  // Downloads first: their threads post to this object.
  for (auto& entry : downloads_) entry.second->cancel();
  downloads_.clear();
  if (mpv_) mpv_api().set_wakeup_callback(mpv_, nullptr, nullptr);
  // The view frees mpv's render context, which must go before mpv does.
  delete view_.data();
  if (mpv_) mpv_api().terminate_destroy(mpv_);
}

QWidget* MpvPlayer::widget() { return view_.data(); }

bool MpvPlayer::ensure_mpv() {
  if (mpv_) return true;
  if (mpv_tried_) return false;
  mpv_tried_ = true;
  if (!start_mpv(output_)) {
    set_unavailable(unavailable_);
    return false;
  }
  if (view_) view_->attach(mpv_);
  return true;
}

// --- the contract ---

tav::Variant MpvPlayer::get(int dispid) {
  switch (dispid) {
    case 1: return tav::Variant(address_);
    case 3: return mute_ ? -1 : 0;
    case 5: return (view_ ? view_->full_screen() : full_screen_) ? -1 : 0;
    case 6: return volume_;
    case 7: return duration();
    case 8: return speed();
    case 10: return position();
    case 16: return play_state();
    case 20: return bit_rate();
    case 26: return progress();
    case 31: return tav::Variant(ad_page_);
    default: break;
  }
  throw tav::AutomationError("the player has no readable property " + std::to_string(dispid));
}

void MpvPlayer::put(int dispid, const tav::Variant& value) {
  switch (dispid) {
    case 1:
      set_address(value.to_text());
      return;
    case 3:
      mute_ = value.to_int() != 0;
      if (mpv_) {
        int on = mute_ ? 1 : 0;
        mpv_api().set_property_async(mpv_, 0, "mute", MPV_FORMAT_FLAG, &on);
      }
      return;
    case 5:
      full_screen_ = value.to_int() != 0;
      if (view_) view_->set_full_screen(full_screen_);
      return;
    case 6: {
      volume_ = std::clamp(value.to_int(), 0, 100);
      double v = volume_;
      if (mpv_) mpv_api().set_property_async(mpv_, 0, "volume", MPV_FORMAT_DOUBLE, &v);
      return;
    }
    case 10:
      seek(value.to_int());
      return;
    case 31:
      ad_page_ = value.to_text();
      return;
    default:
      break;
  }
  throw tav::AutomationError("the player has no writable property " + std::to_string(dispid));
}

void MpvPlayer::invoke(int dispid, const std::vector<tav::Variant>& args) {
  switch (dispid) {
    case 12: play(); return;
    case 13: pause(); return;
    case 14: stop(); return;
    case 30:
      if (args.empty()) throw tav::AutomationError("pre-buffer needs an address");
      prebuffer(args.front().to_text());
      return;
    default:
      break;
  }
  throw tav::AutomationError("the player has no method " + std::to_string(dispid));
}

// --- commands ---

void MpvPlayer::set_address(const std::string& address) {
  if (mpv_ && (phase_ == Phase::Opening || phase_ == Phase::Open)) command({"stop"});
  if (address != address_) {
    // The old film's download ends with it, unless it was asked for as a
    // pre-buffer; its partial file is resumed if the film is played again.
    if (Download* old = film_download(); old && !prebuffered_.count(film_download_)) old->cancel();
    if (!film_qvod_.empty() && terminal_ && !prebuffered_.count(qvod_target_))
      terminal_->cancel(film_qvod_);
  }
  film_download_.clear();
  film_qvod_.clear();
  qvod_target_.clear();
  address_ = address;
  phase_ = Phase::Idle;
  source_.clear();
  network_ = false;
  entry_ = -1;
  file_loaded_ = false;
  ended_ = false;
  swapping_ = false;
  start_at_.reset();
  seek_target_.reset();
  last_duration_ = last_position_ = 0;
  settings_ = load_qvod_settings(suite_folder_);
  if (unavailable_.isEmpty()) show_message({});
}

void MpvPlayer::play() {
  if (address_.empty() || !unavailable_.isEmpty() || !ensure_mpv()) return;
  set_pause(false);
  switch (phase_) {
    case Phase::Open:
      if (ended_) {  // mpv let go of the file at its end: open it again
        load();
      } else if (props_.eof) {
        seek(0);  // from the start again
      }
      return;
    case Phase::Opening:
    case Phase::Waiting:
    case Phase::Service:
      return;
    case Phase::Idle:
    case Phase::Stopped:
    case Phase::Failed:
      resolve();
      if (!film_qvod_.empty() && source_.empty()) {
        // The service's stream comes once the service answers.
        phase_ = Phase::Service;
        show_message({});
        on_terminal_changed();
        return;
      }
      if (source_.empty()) {
        phase_ = Phase::Failed;
        show_message(text("无法播放此地址"));
        return;
      }
      load();
      return;
  }
}

void MpvPlayer::pause() {
  if (phase_ == Phase::Open || phase_ == Phase::Opening || phase_ == Phase::Waiting ||
      phase_ == Phase::Service)
    set_pause(true);
}

void MpvPlayer::stop() {
  if (mpv_ && (phase_ == Phase::Opening || phase_ == Phase::Open)) command({"stop"});
  if (!address_.empty()) phase_ = Phase::Stopped;
  forget_file_properties();
  swapping_ = false;
  ended_ = false;
  start_at_.reset();
  seek_target_.reset();
}

void MpvPlayer::seek(int seconds) {
  double at = std::max(0, seconds);
  const bool loaded = phase_ == Phase::Open || (phase_ == Phase::Opening && file_loaded_);
  if (!loaded || !mpv_) {
    // Where the coming (or next) Play starts.
    start_at_ = at;
    if (phase_ == Phase::Opening) seek_target_ = at;
    return;
  }
  const double length = known(props_.duration, last_duration_);
  if (length > 0) at = std::min(at, length);
  if (ended_) {
    start_at_ = at;
    load();
    return;
  }
  const std::string target = seconds_text(at);
  command({"seek", target.c_str(), "absolute+exact"});
  seek_target_ = at;
  if (length > 0 && at < length) props_.eof = false;
}

void MpvPlayer::prebuffer(const std::string& address) {
  settings_ = load_qvod_settings(suite_folder_);
  const Prefetch prefetch = choose_prefetch(address, settings_);
  if (prefetch.target.empty()) return;
  prebuffered_.insert(prefetch.target);
  switch (prefetch.by) {
    case Prefetch::By::Service: terminal().fetch(address); return;
    case Prefetch::By::Download: ensure_download({address, prefetch.target, -1, true, {}}); return;
    case Prefetch::By::Nothing: return;
  }
}

// --- readings ---

int MpvPlayer::play_state() const {
  if (address_.empty()) return 0;
  if (!unavailable_.isEmpty()) return 1;
  switch (phase_) {
    case Phase::Idle:
    case Phase::Stopped:
    case Phase::Failed:
      return 1;
    case Phase::Waiting:
      return network_ ? 10 : 7;
    case Phase::Service:
      return 10;
    case Phase::Opening:
      if (swapping_) return swap_paused_ ? 2 : 3;
      return network_ ? 10 : 7;
    case Phase::Open:
      if (ended_ || props_.eof) return 0;
      if (props_.paused_for_cache) return 4;
      if (props_.pause) return 2;
      if (network_ && props_.seeking) return 4;
      return 3;
  }
  return 0;
}

int MpvPlayer::duration() {
  if (phase_ != Phase::Open && phase_ != Phase::Opening) return 0;
  last_duration_ = known(props_.duration, last_duration_);
  return static_cast<int>(std::llround(std::max(0.0, last_duration_)));
}

int MpvPlayer::position() {
  if (phase_ != Phase::Open && phase_ != Phase::Opening)
    return start_at_ ? static_cast<int>(*start_at_) : 0;
  if (seek_target_) return static_cast<int>(std::floor(*seek_target_));
  if (phase_ == Phase::Opening && !file_loaded_) return static_cast<int>(std::floor(last_position_));
  if (swapping_) return static_cast<int>(std::floor(last_position_));
  if (ended_ || props_.eof) return duration();
  last_position_ = std::max(0.0, known(props_.time_pos, last_position_));
  return static_cast<int>(std::floor(last_position_));
}

int MpvPlayer::speed() {
  if (!film_qvod_.empty() && terminal_) {
    const TerminalClient::Film film = terminal_->film(film_qvod_);
    return film.heard && film.status.state == FilmState::Running ? film.status.speed_kb : 0;
  }
  if (Download* d = film_download(); d && d->state() == Download::State::Running)
    return d->speed_kb();
  if (network_ && (phase_ == Phase::Open || phase_ == Phase::Opening))
    return static_cast<int>(known(props_.cache_speed, 0) / 1024);
  return 0;
}

int MpvPlayer::progress() {
  if (address_.empty()) return 0;
  const AddressKind kind = address_kind(address_);
  if (kind == AddressKind::Local) return 1000;
  if (kind == AddressKind::Qvod) {
    const auto q = parse_qvod(address_);
    if (!q) return 0;
    std::int64_t have = -1;
    if (!film_qvod_.empty() && terminal_) {
      const TerminalClient::Film film = terminal_->film(film_qvod_);
      if (film.heard && film.status.state == FilmState::Complete) return 1000;
      if (film.heard) have = film.status.have;
    }
    if (have < 0) {
      // What is already in the save folder.
      const std::string target = settings_.save_folder + q->file_name;
      const std::int64_t saved = saved_file_size(target);
      if (saved == q->size) return 1000;
      // The part file counts when its job file names this film.
      have = job_names_film(target, *q) ? saved_file_size(part_file_of(target)) : 0;
    }
    if (have <= 0) return 0;
    return static_cast<int>(std::min<std::int64_t>(1000, have * 1000 / q->size));
  }
  if (phase_ != Phase::Open && phase_ != Phase::Opening) {
    return file_exists(http_cache_file(settings_.save_folder, address_)) ? 1000 : 0;
  }
  if (!network_) return 1000;  // played from its finished cache file
  int share = 0;
  const double size = known(props_.file_size, 0);
  const double read = known(props_.stream_pos, 0);
  if (size > 0) share = static_cast<int>(std::clamp(read * 1000 / size, 0.0, 1000.0));
  if (Download* d = film_download()) share = std::max(share, d->per_mille());
  return share;
}

int MpvPlayer::bit_rate() {
  if (phase_ != Phase::Open) return 0;
  const double video = known(props_.video_bitrate, 0);
  const double audio = known(props_.audio_bitrate, 0);
  if (video > 0 || audio > 0) return static_cast<int>(std::llround((video + audio) / 1000));
  // Not measured yet: the average over the whole file.
  const double size = known(props_.file_size, 0);
  const double length = known(props_.duration, 0);
  if (size > 0 && length > 0) return static_cast<int>(std::llround(size * 8 / length / 1000));
  return 0;
}

void MpvPlayer::show_message(const QString& message) {
  if (view_) view_->show_message(message);
}

}  // namespace tav::suite
