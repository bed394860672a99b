// A file fetched over HTTP in a thread of its own, resumed from what is
// already on disk. Reading its state never blocks for long; cancel()
// returns at once and the destructor waits for the thread (which ends
// within milliseconds of a cancel).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace tav::suite {

// Without a size given, a download stops when it has written this much.
inline constexpr std::int64_t kMaxUnsizedBytes = std::int64_t{8} << 30;

struct DownloadRequest {
  std::string url;
  std::string target;       // the finished file
  std::int64_t size = -1;   // expected bytes; -1: as the server says
  bool part_file = false;   // fetch into target + ".part", renamed when complete
  // With part_file: checks the complete part file before it is renamed.
  // False (with the reason) fails the download and removes the part file.
  std::function<bool(const std::string& part, std::string& why)> verify;
  // Without a size: the most it writes (an answer that says it is longer,
  // or a body that goes on past it, fails the download).
  std::int64_t max_bytes = kMaxUnsizedBytes;
  // An existing file (the part file with part_file) is resumed; when
  // false the download only writes into a file it creates itself.
  bool resume = true;
};

// The bytes free for this user on the file system of folder; -1 when
// it cannot be told.
std::int64_t free_bytes(const std::string& folder);

// The options every transfer of a film or a seed shares: http(s) only, also
// after redirects (five at most), no signals, the connect time-out, no proxy
// for this machine, the suite's user agent. handle is a CURL*.
void set_transfer_options(void* handle, const std::string& url, long connect_timeout_s);

class Download {
 public:
  enum class State { Running, Complete, Failed, Cancelled };

  // Starts at once. on_finished is called from the download's thread when
  // it ends in any way but a cancel.
  explicit Download(DownloadRequest request, std::function<void()> on_finished = {});
  ~Download();
  Download(const Download&) = delete;
  Download& operator=(const Download&) = delete;

  void cancel();
  void wait();

  const DownloadRequest& request() const { return request_; }
  State state() const { return state_.load(); }
  bool finished() const { return state() != State::Running; }
  std::int64_t bytes() const { return bytes_.load(); }
  std::int64_t total() const { return total_.load(); }  // -1 while unknown
  // Attempts that failed in a row without bringing new bytes.
  int failures() const { return failures_.load(); }
  int per_mille() const;
  int speed_kb() const;  // KB/s over the last seconds; 0 once finished
  std::string error() const;

 private:
  struct Attempt;
  void run();
  bool attempt(Attempt& a);
  void finish(State state, std::string error = {});
  void update_speed(bool force);
  bool sleep_for(int seconds);  // false when cancelled meanwhile

  const DownloadRequest request_;
  const std::function<void()> on_finished_;
  std::atomic<State> state_{State::Running};
  std::atomic<std::int64_t> bytes_{0};
  std::atomic<std::int64_t> total_{-1};
  std::atomic<std::int64_t> speed_bps_{0};
  std::atomic<bool> cancelled_{false};
  std::atomic<int> failures_{0};
  bool created_ = false;  // the file was made by this download (its thread only)

  mutable std::mutex mutex_;  // guards error_, multi_ and the sleep
  std::condition_variable wake_;
  std::string error_;
  void* multi_ = nullptr;  // CURLM* of the running attempt

  // Speed samples, touched only by the download's thread.
  std::int64_t sample_bytes_ = 0;
  std::int64_t sample_time_us_ = 0;
  std::thread thread_;
};

}  // namespace tav::suite
