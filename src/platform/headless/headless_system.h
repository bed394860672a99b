// The local clock, random numbers, processes and starting programs, on the
// virtual clock and by script.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/headless/effect_log.h"
#include "platform/processes.h"
#include "platform/shell.h"

namespace tav {

class VirtualClock final : public Clock {
 public:
  LocalTime now() const override;
  long long monotonic_ms() const override { return ms_; }
  void set_time(LocalTime t) { base_ = t, base_ms_ = ms_; }
  void advance_to(long long ms) { ms_ = ms; }

 private:
  LocalTime base_{2026, 12, 7, 12, 0, 0};
  long long base_ms_ = 0;
  long long ms_ = 0;
};

class ScriptedRandom final : public Random {
 public:
  void seed_from_clock() override { ++seeds; }
  double next() override;
  std::deque<double> values;
  double fallback = 0.5;
  int seeds = 0;
};

class HeadlessShell final : public Shell {
 public:
  explicit HeadlessShell(EffectLog& log) : log_(log) {}
  bool open(std::string_view target, std::string_view verb) override;
  bool start(std::string_view command_line, WindowStyle style) override;
  bool start_succeeds = true;
  std::vector<std::string> started;
  std::vector<std::string> opened;

 private:
  EffectLog& log_;
};

class HeadlessProcesses final : public Processes {
 public:
  explicit HeadlessProcesses(EffectLog& log) : log_(log) {}
  std::vector<ProcessEntry> list() const override { return entries; }
  bool terminate(std::uint32_t id) override;
  void add(std::string image_name, std::string path);
  std::vector<ProcessEntry> entries;

 private:
  EffectLog& log_;
  std::uint32_t next_id_ = 1000;
};

}  // namespace tav
