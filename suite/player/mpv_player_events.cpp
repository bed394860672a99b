// mpv itself: made with the player's options, its properties observed and
// its events handled as they come, and every command queued.
#include "suite/player/mpv_player.h"

#include <QTimer>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "suite/player/mpv_api.h"
#include "suite/player/mpv_player_parts.h"
#include "suite/player/video_view.h"

namespace tav::suite {

using namespace mpv_player_parts;

namespace {

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

}  // namespace

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
      give_back_memory();
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

// A film's decoders, buffers and caches go with its end, but glibc keeps
// the heap they leave in its arenas: a moment later, once mpv's threads have
// let go of them, it is given back to the system, so that an evening of
// films does not leave the program the size of its largest.
void MpvPlayer::give_back_memory() {
#if defined(__GLIBC__)
  if (trim_pending_) return;
  trim_pending_ = true;
  QTimer::singleShot(1000, this, [this] {
    trim_pending_ = false;
    malloc_trim(0);
  });
#endif
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

}  // namespace tav::suite
