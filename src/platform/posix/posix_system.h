// The local clock, random numbers, processes from /proc and starting
// programs, on POSIX.
#pragma once

#include <random>
#include <string>

#include "platform/clock.h"
#include "platform/processes.h"
#include "platform/shell.h"

namespace tav {

class PosixClock final : public Clock {
 public:
  LocalTime now() const override;
  long long monotonic_ms() const override;
};

class PosixRandom final : public Random {
 public:
  void seed_from_clock() override;
  double next() override;

 private:
  std::mt19937_64 engine_{std::random_device{}()};
};

// The user's own processes: those of other users on the same machine are
// neither listed nor ended, whatever their names.
class ProcProcesses final : public Processes {
 public:
  std::vector<ProcessEntry> list() const override;
  // Asks the process to end, and makes it end if it has not after a moment.
  bool terminate(std::uint32_t id) override;
};

class PosixShell final : public Shell {
 public:
  // Programs named without a folder are looked for in the application
  // folder first, then along PATH.
  explicit PosixShell(std::string app_folder) : app_folder_(std::move(app_folder)) {}
  bool open(std::string_view target, std::string_view verb) override;
  // The window style has no meaning here and is not passed on.
  bool start(std::string_view command_line, WindowStyle style) override;

 private:
  std::string resolve(const std::string& program) const;
  std::string app_folder_;
};

}  // namespace tav
