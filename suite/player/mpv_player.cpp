#include "suite/player/mpv_player.h"

#include <sys/stat.h>

#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "suite/player/address.h"
#include "suite/player/mpv_api.h"
#include "suite/player/video_view.h"

namespace tav::suite {

namespace {

bool file_exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The size of the regular file of that name in the save folder (not what a
// link there leads to); -1 for anything else.
std::int64_t file_size(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : -1;
}

std::string seconds_text(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", s);
  return text;
}

QString text(const char* utf8) { return QString::fromUtf8(utf8); }

constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();

// Observed properties; the index is the reply id of the observation.
enum Observed : std::uint64_t {
  kTimePos = 1, kDuration, kCacheSpeed, kFileSize, kStreamPos, kVideoBitrate, kAudioBitrate,
  kPause, kEof, kPausedForCache, kSeeking,
};
struct ObservedProperty {
  Observed id;
  const char* name;
  mpv_format format;
};
constexpr ObservedProperty kObserved[] = {
    {kTimePos, "time-pos", MPV_FORMAT_DOUBLE},
    {kDuration, "duration", MPV_FORMAT_DOUBLE},
    {kCacheSpeed, "cache-speed", MPV_FORMAT_DOUBLE},
    {kFileSize, "file-size", MPV_FORMAT_DOUBLE},
    {kStreamPos, "stream-pos", MPV_FORMAT_DOUBLE},
    {kVideoBitrate, "video-bitrate", MPV_FORMAT_DOUBLE},
    {kAudioBitrate, "audio-bitrate", MPV_FORMAT_DOUBLE},
    {kPause, "pause", MPV_FORMAT_FLAG},
    {kEof, "eof-reached", MPV_FORMAT_FLAG},
    {kPausedForCache, "paused-for-cache", MPV_FORMAT_FLAG},
    {kSeeking, "seeking", MPV_FORMAT_FLAG},
};
// Replies to loadfile commands carry ids from here up.
constexpr std::uint64_t kLoadReplyBase = 1000;
constexpr int kLoadMpvAfterMs = 1000;  // after the player is made

double known(double value, double fallback) { return std::isnan(value) ? fallback : value; }

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

bool MpvPlayer::start_mpv(VideoOutput output) {
  const bool headless = output == VideoOutput::None;
  if (!load_mpv()) {
    unavailable_ = text("无法启动视频播放（无法载入 libmpv）");
    return false;
  }
  // mpv parses numbers with the C library; Qt sets the user's locale.
  std::setlocale(LC_NUMERIC, "C");
  mpv_ = mpv_api().create();
  if (!mpv_) {
    unavailable_ = text("无法启动视频播放（mpv 无法创建）");
    return false;
  }
  const std::string volume = std::to_string(volume_);
  const char* const options[][2] = {
      {"config", "no"},          // never the user's own mpv.conf or scripts
      {"load-scripts", "no"},
      // A file opens as itself: no playlist, reference or chapter file in it
      // leads mpv to other files or protocols.
      {"access-references", "no"},
      {"ytdl", "no"},
      {"osc", "no"},
      {"input-default-bindings", "no"},
      {"input-vo-keyboard", "no"},
      {"terminal", "no"},
      {"idle", "yes"},
      {"keep-open", "yes"},      // stay on the last frame so the end is seen
      {"keep-open-pause", "no"}, // and a seek back from the end plays on
      // The machine's video decoder where it has one that is known to
      // work, else the processor, without a word.
      {"hwdec", "auto-safe"},
      {"audio-client-name", "Tavori"},
      {"cache", "yes"},
      {"demuxer-max-bytes", "64MiB"},
      {"demuxer-max-back-bytes", "16MiB"},
      {"cache-secs", "30"},
      {"network-timeout", "20"},
      {"volume-max", "100"},
      {"volume", volume.c_str()},  // as put before mpv was made
      {"mute", mute_ ? "yes" : "no"},
      {"audio-display", "no"},
      {"background", "#000000"},
  };
  for (const auto& option : options) mpv_api().set_option_string(mpv_, option[0], option[1]);
  switch (output) {
    case VideoOutput::None:
      mpv_api().set_option_string(mpv_, "vo", "null");
      break;
    case VideoOutput::Rendered:
      mpv_api().set_option_string(mpv_, "vo", "libmpv");
      break;
    case VideoOutput::Native:
      // mpv's own window inside the view's: OpenGL (or Vulkan) where the
      // display has it, plain X11 drawing where it has not. The window is
      // the view's part of the screen only: the pointer, the cursor and the
      // screen saver are the program's.
      mpv_api().set_option_string(mpv_, "vo", "gpu,xv,x11");
      // The GPU output draws through X11 only: left to probe by itself, mpv
      // takes a Wayland context wherever a compositor runs beside the X
      // server (XWayland), and a Wayland surface knows nothing of "wid":
      // the film would open in a window of its own. The first X11 context
      // this build of mpv knows is taken (it refuses a name it lacks).
      for (const char* context : {"x11egl", "x11", "x11vk"})
        if (mpv_api().set_option_string(mpv_, "gpu-context", context) >= 0) break;
      mpv_api().set_option_string(mpv_, "gpu-sw", "yes");  // also a software OpenGL
      mpv_api().set_option_string(mpv_, "input-cursor", "no");
      mpv_api().set_option_string(mpv_, "cursor-autohide", "no");
      mpv_api().set_option_string(mpv_, "stop-screensaver", "no");
      break;
  }
  // With a widget, mpv picks the sound output itself and plays the picture
  // alone when there is none.
  if (headless) mpv_api().set_option_string(mpv_, "ao", "null");
  if (mpv_api().initialize(mpv_) < 0) {
    mpv_api().terminate_destroy(mpv_);
    mpv_ = nullptr;
    unavailable_ = text("无法启动视频播放（mpv 无法初始化）");
    return false;
  }
  if (std::getenv("TAVORI_SUITE_LOG")) mpv_api().request_log_messages(mpv_, "v");
  forget_file_properties();
  observe_properties();
  mpv_api().set_wakeup_callback(mpv_, &MpvPlayer::on_wakeup, this);
  return true;
}

void MpvPlayer::observe_properties() {
  for (const ObservedProperty& p : kObserved) mpv_api().observe_property(mpv_, p.id, p.name, p.format);
}

void MpvPlayer::forget_file_properties() {
  const bool pause = props_.pause;
  props_ = Properties{kUnknown, kUnknown, kUnknown, kUnknown, kUnknown, kUnknown, kUnknown,
                      pause, false, false, false};
}

void MpvPlayer::on_property(const mpv_event& event) {
  const auto* p = static_cast<const mpv_event_property*>(event.data);
  double number = kUnknown;
  bool on = false;
  if (p->format == MPV_FORMAT_DOUBLE) number = *static_cast<const double*>(p->data);
  if (p->format == MPV_FORMAT_FLAG) on = *static_cast<const int*>(p->data) != 0;
  switch (event.reply_userdata) {
    case kTimePos: props_.time_pos = number; break;
    case kDuration: props_.duration = number; break;
    case kCacheSpeed: props_.cache_speed = number; break;
    case kFileSize: props_.file_size = number; break;
    case kStreamPos: props_.stream_pos = number; break;
    case kVideoBitrate: props_.video_bitrate = number; break;
    case kAudioBitrate: props_.audio_bitrate = number; break;
    case kPause: props_.pause = on; break;
    case kEof: props_.eof = on; break;
    case kPausedForCache: props_.paused_for_cache = on; break;
    case kSeeking: props_.seeking = on; break;
    default: break;
  }
}

void MpvPlayer::set_unavailable(const QString& why) {
  unavailable_ = why;
  if (mpv_ && (phase_ == Phase::Opening || phase_ == Phase::Open)) command({"stop"});
  if (phase_ != Phase::Idle) phase_ = Phase::Failed;
  swapping_ = false;
  show_message(why);
}

// From mpv's threads: only posts to the user-interface thread, at most one
// call waiting at a time.
void MpvPlayer::on_wakeup(void* self_ptr) {
  auto* self = static_cast<MpvPlayer*>(self_ptr);
  if (self->wakeup_posted_.exchange(true)) return;
  QMetaObject::invokeMethod(
      self,
      [self] {
        self->wakeup_posted_ = false;
        self->drain_events();
      },
      Qt::QueuedConnection);
}

void MpvPlayer::drain_events() {
  while (mpv_) {
    const mpv_event* event = mpv_api().wait_event(mpv_, 0);
    if (event->event_id == MPV_EVENT_NONE) break;
    handle_event(*event);
  }
}

void MpvPlayer::handle_event(const mpv_event& event) {
  switch (event.event_id) {
    case MPV_EVENT_PROPERTY_CHANGE:
      on_property(event);
      update_full_screen_bar();
      break;
    case MPV_EVENT_COMMAND_REPLY:
      if (event.reply_userdata != load_serial_ || load_serial_ == 0) break;
      if (event.error < 0) {
        if (phase_ == Phase::Opening) {
          phase_ = Phase::Failed;
          swapping_ = false;
          show_message(text("无法播放此地址"));
        }
        break;
      }
      {
        const mpv_node& result = static_cast<const mpv_event_command*>(event.data)->result;
        if (result.format == MPV_FORMAT_NODE_MAP) {
          for (int i = 0; i < result.u.list->num; ++i) {
            if (std::string_view(result.u.list->keys[i]) == "playlist_entry_id" &&
                result.u.list->values[i].format == MPV_FORMAT_INT64)
              entry_ = result.u.list->values[i].u.int64;
          }
        }
      }
      break;
    case MPV_EVENT_START_FILE:
      started_entry_ = static_cast<const mpv_event_start_file*>(event.data)->playlist_entry_id;
      break;
    case MPV_EVENT_FILE_LOADED:
      if (started_entry_ != entry_ || phase_ != Phase::Opening) break;
      file_loaded_ = true;
      if (start_at_) {  // a seek asked for while it opened
        const double at = *start_at_;
        start_at_.reset();
        seek(static_cast<int>(at));
      }
      break;
    case MPV_EVENT_PLAYBACK_RESTART:
      if (started_entry_ != entry_) break;
      if (phase_ == Phase::Opening) {
        phase_ = Phase::Open;
        swapping_ = false;
      }
      seek_target_.reset();
      break;
    case MPV_EVENT_END_FILE: {
      const auto* end = static_cast<const mpv_event_end_file*>(event.data);
      if (end->playlist_entry_id != entry_) break;
      if (phase_ != Phase::Opening && phase_ != Phase::Open) break;
      swapping_ = false;
      seek_target_.reset();
      if (end->reason == MPV_END_FILE_REASON_ERROR) {
        phase_ = Phase::Failed;
        show_message(text("无法播放此影片（") + text(mpv_api().error_string(end->error)) + text("）"));
      } else if (end->reason == MPV_END_FILE_REASON_EOF) {
        phase_ = Phase::Open;
        ended_ = true;
      } else {
        phase_ = Phase::Stopped;
      }
      break;
    }
    case MPV_EVENT_SHUTDOWN:
      set_unavailable(text("视频播放已停止"));
      break;
    case MPV_EVENT_LOG_MESSAGE: {
      const auto* msg = static_cast<const mpv_event_log_message*>(event.data);
      std::fprintf(stderr, "[mpv %s] %s: %s", msg->level, msg->prefix, msg->text);
      break;
    }
    default:
      break;
  }
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
  switch (address_kind(address)) {
    case AddressKind::Qvod: {
      const auto q = parse_qvod(address);
      if (!q) return;
      const std::string target = settings_.save_folder + q->file_name;
      prebuffered_.insert(target);
      // Saved already, or a larger file of that name that is not ours: nothing to fetch.
      if (file_size(target) < q->size) terminal().fetch(address);
      return;
    }
    case AddressKind::Http: {
      const std::string target = http_cache_file(settings_.save_folder, address);
      prebuffered_.insert(target);
      ensure_download({address, target, -1, true, {}});
      return;
    }
    case AddressKind::Local:
    case AddressKind::Unsupported:
      return;  // nothing to fetch, or nothing this player can fetch
  }
}

// --- loading ---

void MpvPlayer::resolve() {
  settings_ = load_qvod_settings(suite_folder_);
  source_.clear();
  network_ = false;
  film_download_.clear();
  switch (address_kind(address_)) {
    case AddressKind::Local:
      // A regular file by its absolute path, nothing else ("" does not play).
      source_ = local_file(address_);
      return;
    case AddressKind::Http: {
      const std::string cache = http_cache_file(settings_.save_folder, address_);
      if (file_exists(cache)) {
        source_ = cache;
        return;
      }
      source_ = address_;
      network_ = true;
      if (auto it = downloads_.find(cache); it != downloads_.end() && !it->second->finished())
        film_download_ = cache;
      return;
    }
    case AddressKind::Qvod: {
      const auto q = parse_qvod(address_);
      if (!q) return;
      const std::string target = settings_.save_folder + q->file_name;
      const std::int64_t have = file_size(target);
      if (have == q->size) {  // saved: nothing to fetch
        source_ = target;
        return;
      }
      network_ = true;
      if (have > q->size) {
        // Some other file of that name, which is left alone: the film only
        // streams from its seed (an http(s) one: the settings file is no
        // way to other protocols).
        const std::string seed = settings_.seed_source + q->hash;
        if (address_kind(seed) == AddressKind::Http) source_ = seed;
        return;
      }
      film_qvod_ = address_;
      qvod_target_ = target;
      terminal().fetch(address_);
      source_ = terminal_->stream_url(address_);  // "" until the service answers
      return;
    }
    case AddressKind::Unsupported:
      return;
  }
}

void MpvPlayer::load() {
  if (view_ && !view_->make_ready()) {
    // The picture surface comes with the widget's first showing.
    phase_ = Phase::Waiting;
    return;
  }
  std::string options;
  if (start_at_) options = "start=" + seconds_text(*start_at_);
  const char* args[] = {"loadfile", source_.c_str(), "replace", options.c_str(), nullptr};
  // Asynchronous like every command here, so they run in the order given;
  // the reply names the playlist entry.
  load_serial_ = load_serial_ == 0 ? kLoadReplyBase : load_serial_ + 1;
  const int status = mpv_api().command_async(mpv_, load_serial_, args);
  entry_ = -1;
  last_position_ = start_at_.value_or(0);
  start_at_.reset();
  file_loaded_ = false;
  ended_ = false;
  swapping_ = false;
  seek_target_.reset();
  forget_file_properties();
  if (status < 0) {
    phase_ = Phase::Failed;
    show_message(text("无法播放此地址"));
    return;
  }
  phase_ = Phase::Opening;
  show_message({});
}

Download* MpvPlayer::film_download() const {
  if (film_download_.empty()) return nullptr;
  const auto it = downloads_.find(film_download_);
  return it == downloads_.end() ? nullptr : it->second.get();
}

Download* MpvPlayer::ensure_download(const DownloadRequest& request) {
  std::unique_ptr<Download>& slot = downloads_[request.target];
  if (slot) {
    if (slot->state() == Download::State::Running) return slot.get();
    if (slot->state() == Download::State::Complete && file_exists(request.target)) return slot.get();
    slot.reset();  // ended otherwise: try again
  }
  slot = std::make_unique<Download>(request, [this] {
    QMetaObject::invokeMethod(this, [this] { on_download_finished(); }, Qt::QueuedConnection);
  });
  return slot.get();
}

TerminalClient& MpvPlayer::terminal() {
  if (!terminal_) {
    terminal_ = std::make_unique<TerminalClient>(suite_folder_, [this] {
      QMetaObject::invokeMethod(this, [this] { on_terminal_changed(); }, Qt::QueuedConnection);
    });
  }
  return *terminal_;
}

// What the service says of the loaded qvod:// film.
void MpvPlayer::on_terminal_changed() {
  if (film_qvod_.empty() || !terminal_) return;
  const TerminalClient::Film film = terminal_->film(film_qvod_);
  const bool complete = film.heard && film.status.state == FilmState::Complete;
  // No byte of the film has come and the service says why: it refused the
  // film, its download failed, or its seed gives nothing while it retries.
  const bool not_coming = film.heard && film.status.have == 0 &&
                          (film.status.state == FilmState::Failed ||
                           (film.status.state == FilmState::Running && !film.status.error.empty()));
  if (phase_ == Phase::Service) {
    if (complete) {
      source_ = qvod_target_;
      network_ = false;
      load();
    } else if (terminal_->link() == TerminalClient::Link::Unavailable) {
      phase_ = Phase::Failed;
      show_message(text("下载服务无法启动（") + QString::fromStdString(terminal_->link_error()) +
                   text("）"));
    } else if (not_coming) {
      fail_download(film.status.error);
    } else if (std::string url = terminal_->stream_url(film_qvod_); !url.empty()) {
      source_ = std::move(url);
      load();
    }
    return;
  }
  if (complete && network_) {
    move_to(qvod_target_, false);
  } else if (network_ && ((phase_ == Phase::Opening && !file_loaded_) || phase_ == Phase::Failed) &&
             not_coming) {
    // The service's reason says more than the failure of mpv's stream,
    // which gets no byte either.
    if (phase_ == Phase::Opening) command({"stop"});
    fail_download(film.status.error);
  } else if (network_ && (phase_ == Phase::Opening || phase_ == Phase::Open)) {
    // The service was started again (on another port): its stream goes on
    // from the same place.
    if (std::string url = terminal_->stream_url(film_qvod_); !url.empty() && url != source_)
      move_to(url, true);
  }
}

void MpvPlayer::fail_download(const std::string& why) {
  phase_ = Phase::Failed;
  swapping_ = false;
  show_message(why.empty() ? text("无法下载此影片")
                           : text("无法下载此影片（") + QString::fromStdString(why) + text("）"));
}

// The http film's download is complete.
void MpvPlayer::on_download_finished() {
  Download* download = film_download();
  if (!download || download->state() != Download::State::Complete || !network_) return;
  move_to(download->request().target, false);
}

// Plays on from another source of the same film at the same place: the
// file once the download is complete (the film no longer needs the
// network), or the stream of a service started again.
void MpvPlayer::move_to(const std::string& source, bool network) {
  switch (phase_) {
    case Phase::Waiting:
      source_ = source;
      network_ = network;
      return;
    case Phase::Opening:
    case Phase::Open: {
      if (ended_ || props_.eof) return;  // nothing left to play from it
      const double at = seek_target_ ? *seek_target_ : known(props_.time_pos, last_position_);
      const bool paused = props_.pause;
      const double length = known(props_.duration, last_duration_);
      source_ = source;
      network_ = network;
      if (file_loaded_ || phase_ == Phase::Open) start_at_ = at;
      load();
      swapping_ = true;
      swap_paused_ = paused;
      last_position_ = at;
      last_duration_ = length;
      return;
    }
    case Phase::Idle:
    case Phase::Service:
    case Phase::Stopped:
    case Phase::Failed:
      return;  // the next Play finds the file
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
      const std::int64_t saved = file_size(target);
      if (saved == q->size) return 1000;
      // The part file counts when its job file names this film.
      have = job_names_film(target, *q) ? file_size(part_file_of(target)) : 0;
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

// --- mpv helpers ---

void MpvPlayer::set_pause(bool on) {
  props_.pause = on;  // as it will be once mpv has done it
  int value = on ? 1 : 0;
  if (mpv_) mpv_api().set_property_async(mpv_, 0, "pause", MPV_FORMAT_FLAG, &value);
}

void MpvPlayer::command(std::initializer_list<const char*> args) {
  if (!mpv_) return;
  std::vector<const char*> list(args);
  list.push_back(nullptr);
  // Every command and property change goes through mpv's queue, so they
  // run in the order given and the caller never waits for mpv's core (a
  // synchronous call would run ahead of what is queued, and can wait for
  // tens of milliseconds while the core is busy).
  mpv_api().command_async(mpv_, 0, list.data());
}

void MpvPlayer::show_message(const QString& message) {
  if (view_) view_->show_message(message);
}

}  // namespace tav::suite
