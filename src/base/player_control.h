// The embedded player control, addressed by dispatch ids.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tav {

// An automation value: nothing, a 32-bit integer or a text.
class Variant {
 public:
  enum class Type { Empty, Int, Text };
  Variant() = default;
  Variant(std::int32_t value) : type_(Type::Int), int_(value) {}  // NOLINT: implicit by design
  Variant(std::string value) : type_(Type::Text), text_(std::move(value)) {}  // NOLINT
  Variant(const char* value) : type_(Type::Text), text_(value) {}             // NOLINT

  Type type() const { return type_; }
  bool empty() const { return type_ == Type::Empty; }
  // Conversions as automation does them: a text that is not a number gives 0.
  std::int32_t to_int() const;
  std::string to_text() const;
  bool operator==(const Variant& other) const = default;

 private:
  Type type_ = Type::Empty;
  std::int32_t int_ = 0;
  std::string text_;
};

// A call on the control failed (no control, or the control refused it).
class AutomationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The class the program creates to test that the player is installed.
inline constexpr std::string_view kPlayerClassId = "clsid:F3D0D36F-23F8-4682-A195-74C92B03D4AF";

namespace dispid {
inline constexpr int kAddress = 1;
inline constexpr int kMute = 3;
inline constexpr int kFullScreen = 5;
inline constexpr int kVolume = 6;
inline constexpr int kDuration = 7;
inline constexpr int kDownloadSpeed = 8;
inline constexpr int kPosition = 10;
inline constexpr int kPlay = 12;
inline constexpr int kPause = 13;
inline constexpr int kStop = 14;
inline constexpr int kPlayState = 16;
inline constexpr int kBitRate = 20;
inline constexpr int kDownloadProgress = 26;
inline constexpr int kPreBuffer = 30;
inline constexpr int kAdPage = 31;
}  // namespace dispid

// Play states of dispid::kPlayState.
namespace play_state {
inline constexpr int kReady = 0;
inline constexpr int kStopped = 1;
inline constexpr int kPaused = 2;
inline constexpr int kPlaying = 3;
inline constexpr int kBuffering = 4;
inline constexpr int kWaiting = 5;
inline constexpr int kEnded = 6;
inline constexpr int kPreparing = 7;
inline constexpr int kReconnecting = 8;
inline constexpr int kTorrent = 9;
inline constexpr int kConnecting = 10;
inline constexpr int kStopping = 11;
}  // namespace play_state

// The control itself: the program drives it, the player library answers.
class PlayerControl {
 public:
  virtual ~PlayerControl() = default;
  virtual Variant get(int dispid) = 0;
  virtual void put(int dispid, const Variant& value) = 0;
  virtual void invoke(int dispid, const std::vector<Variant>& args) = 0;
};

}  // namespace tav
