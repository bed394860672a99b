// The player control on libmpv: the dispatch ids of the program's player
// contract, the video view, and the downloads of qvod:// films.
#pragma once

#include <QObject>
#include <QPointer>
#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/player_control.h"
#include "suite/player/download.h"
#include "suite/player/embedded_player.h"
#include "suite/player/qvod_settings.h"
#include "suite/player/terminal_client.h"

struct mpv_handle;
struct mpv_event;

namespace tav::suite {

class VideoView;
enum class VideoOutput;

class MpvPlayer final : public QObject, public EmbeddedPlayer, public tav::PlayerControl {
  Q_OBJECT
 public:
  // suite_folder: where QvodPlayer.xml is (the library's folder).
  MpvPlayer(QWidget* parent, const PlayerOptions& options, std::string suite_folder);
  ~MpvPlayer() override;

  tav::PlayerControl& control() override { return *this; }
  QWidget* widget() override;

  tav::Variant get(int dispid) override;
  void put(int dispid, const tav::Variant& value) override;
  void invoke(int dispid, const std::vector<tav::Variant>& args) override;

 private:
  // Where the loaded address is, as far as this control is concerned.
  enum class Phase {
    Idle,     // an address is put, Play not asked yet
    Service,  // Play asked; the suite's service is being reached
    Waiting,  // Play asked; the picture surface is not ready yet
    Opening,  // mpv is opening it; no picture yet
    Open,     // playing, paused or at the end
    Stopped,  // after Stop
    Failed,   // it did not open
  };

  // mpv is made when the first film plays: true when it is there.
  bool ensure_mpv();
  bool start_mpv(VideoOutput output);
  void set_unavailable(const QString& why);
  static void on_wakeup(void* self);
  void drain_events();
  void handle_event(const mpv_event& event);

  void play();
  void pause();
  void stop();
  void set_address(const std::string& address);
  void prebuffer(const std::string& address);
  void seek(int seconds);

  // Takes what mpv plays for the address (choose_source: a local file, a
  // stream, a saved download) and starts the service's fetch that goes
  // with it.
  void resolve();
  void load();
  void on_download_finished();
  void on_terminal_changed();
  void fail_download(const std::string& why);
  void move_to(const std::string& source, bool network);
  TerminalClient& terminal();
  Download* ensure_download(const DownloadRequest& request);
  Download* film_download() const;

  int play_state() const;
  int duration();
  int position();
  int progress();
  int speed();
  int bit_rate();
  void observe_properties();
  void on_property(const mpv_event& event);
  void set_pause(bool on);
  void give_back_memory();
  // The bar of full screen shows where the film stands.
  void update_full_screen_bar();
  void command(std::initializer_list<const char*> args);
  void show_message(const QString& text);

  const std::string suite_folder_;
  QvodSettings settings_;
  VideoOutput output_;
  mpv_handle* mpv_ = nullptr;
  bool mpv_tried_ = false;
  QString unavailable_;  // why nothing can play; empty when all is well
  QPointer<VideoView> view_;
  std::atomic<bool> wakeup_posted_{false};

  std::string address_;
  std::string ad_page_;
  int volume_ = 100;
  bool mute_ = false;
  bool full_screen_ = false;

  Phase phase_ = Phase::Idle;
  std::string source_;   // what mpv is given for the address
  bool network_ = false; // source_ comes over the network
  std::int64_t entry_ = -1;          // mpv's playlist entry of source_
  std::int64_t started_entry_ = -1;  // the entry mpv last started
  bool file_loaded_ = false;         // mpv has opened source_
  bool ended_ = false;               // mpv let go of it at its end
  bool swapping_ = false;            // moving from the stream to the finished download
  bool trim_pending_ = false;        // give_back_memory() is due
  bool swap_paused_ = false;
  std::optional<double> start_at_;   // seconds, for a load still to come
  std::optional<double> seek_target_;  // while a seek is under way
  double last_duration_ = 0;
  double last_position_ = 0;
  std::uint64_t load_serial_ = 0;  // reply id of the latest loadfile

  // mpv's properties as it last reported them (observed, never read
  // synchronously: a read waits for mpv's core, which can be busy for tens
  // of milliseconds). NaN: not known.
  struct Properties {
    double time_pos, duration, cache_speed, file_size, stream_pos, video_bitrate, audio_bitrate;
    bool pause, eof, paused_for_cache, seeking;
  };
  Properties props_{};
  void forget_file_properties();

  std::map<std::string, std::unique_ptr<Download>> downloads_;  // by target file
  std::string film_download_;        // target of the loaded address's download
  std::set<std::string> prebuffered_;  // targets asked for by pre-buffer

  // qvod:// films are downloaded by the suite's service.
  std::unique_ptr<TerminalClient> terminal_;
  std::string film_qvod_;    // the loaded address, while the service fetches it
  std::string qvod_target_;  // its file in the save folder
};

}  // namespace tav::suite
