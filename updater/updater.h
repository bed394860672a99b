// What update.exe does, apart from its window: fetch and check the signed
// manifest, download and check the archive, unpack it, wait for tavori to
// end, swap the files, start the new program and keep or undo the swap.
// Qt-free; the window (main.cpp) shows the stages and the progress.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tav::update {

struct UpdaterOptions {
  std::string app_folder;   // the program's folder (the updater's own)
  std::string server_base;  // ends with "/box/"
  bool server_base_given = false;  // passed on to the program it starts
  int timeout_ms = 20000;   // connecting, the manifest, a stalled download
  int wait_ms = 30000;      // for tavori to end
  int trial_ms = 3000;      // the new program must keep running this long
  int step_delay_ms = 0;    // tests: a pause after every rename of the swap
  bool check_only = false;  // download, check and unpack, then stop
};

enum class Outcome {
  updated = 0,
  unchanged = 1,        // a failure before the swap: nothing was changed
  package_manager = 3,  // installed by the system's package manager
  restored = 4,         // the new program did not start: the old one is back
  cancelled = 5,
  checked = 6,          // --check-only: the release is good
};

struct Result {
  Outcome outcome = Outcome::unchanged;
  std::string message;  // for the user, Chinese
  std::string detail;   // for stderr
  bool offer_old = false;  // offer to start the old program again
};

struct Progress {
  std::function<void(const std::string& stage)> stage;
  std::function<void(std::uint64_t done, std::uint64_t total)> bytes;
  // Once the swap begins it can no longer be cancelled.
  std::function<void(bool)> cancellable;
};

class Updater {
 public:
  Updater(UpdaterOptions options, Progress progress)
      : o_(std::move(options)), p_(std::move(progress)) {}
  Result run();
  void cancel() { cancelled_ = true; }
  bool cancelled() const { return cancelled_; }
  // Starts the program of the folder, detached; false when it cannot.
  static bool start_program(const UpdaterOptions& options, int* pid = nullptr);

 private:
  Result run_locked();
  void stage(const std::string& s) const {
    if (p_.stage) p_.stage(s);
  }

  UpdaterOptions o_;
  Progress p_;
  std::atomic<bool> cancelled_{false};
};

}  // namespace tav::update
