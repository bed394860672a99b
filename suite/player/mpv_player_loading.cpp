// What a film plays from, and the moves between its sources: the stream,
// the download that saves it, the suite's service for qvod:// films.
#include "suite/player/mpv_player.h"

#include "suite/player/mpv_api.h"
#include "suite/player/mpv_player_parts.h"
#include "suite/player/source_choice.h"
#include "suite/player/video_view.h"

namespace tav::suite {

using namespace mpv_player_parts;

void MpvPlayer::resolve() {
  settings_ = load_qvod_settings(suite_folder_);
  film_download_.clear();
  const SourceChoice choice = choose_source(address_, settings_);
  source_ = choice.source;
  network_ = choice.network;
  if (!choice.cache_file.empty()) {
    if (auto it = downloads_.find(choice.cache_file); it != downloads_.end() && !it->second->finished())
      film_download_ = choice.cache_file;
  }
  if (!choice.service_target.empty()) {
    film_qvod_ = address_;
    qvod_target_ = choice.service_target;
    terminal().fetch(address_);
    source_ = terminal_->stream_url(address_);  // "" until the service answers
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

}  // namespace tav::suite
