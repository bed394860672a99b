// The desktop's media controls: media keys, the desktop's player widget.
// The program publishes what plays; the desktop's requests come back through
// the callbacks, on the user-interface thread.
#pragma once

#include <functional>
#include <string>

namespace tav {

enum class MediaStatus { Stopped, Playing, Paused };

struct MediaState {
  MediaStatus status = MediaStatus::Stopped;
  std::string title;   // the film's name as the window shows it
  int length_s = 0;    // 0 while unknown
  int position_s = 0;
  int volume = 0;      // per cent, 0 to 100
  bool has_media = false;       // something to play, pause, stop or seek
  bool can_go_next = false;
  bool can_go_previous = false;
  bool operator==(const MediaState&) const = default;
};

class MediaControls {
 public:
  virtual ~MediaControls() = default;
  // What plays now; called once a second and after every request.
  virtual void publish(const MediaState& state) = 0;
  // The position jumped (a seek) rather than running on.
  virtual void seeked(int position_s) = 0;
  // Offered no more (the window is gone).
  virtual void withdraw() = 0;

  std::function<void()> on_play_pause;
  std::function<void()> on_play;
  std::function<void()> on_pause;
  std::function<void()> on_stop;
  std::function<void()> on_next;
  std::function<void()> on_previous;
  std::function<void(int seconds)> on_seek;          // by an offset
  std::function<void(int seconds)> on_set_position;  // to a position
  std::function<void(int percent)> on_set_volume;
};

}  // namespace tav
