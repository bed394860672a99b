#include "platform/headless/headless_system.h"

#include <algorithm>
#include <chrono>

#include "base/text.h"

namespace tav {

// VirtualClock -----------------------------------------------------------------

LocalTime VirtualClock::now() const {
  using namespace std::chrono;
  const sys_days day = year_month_day{year{base_.year}, month{static_cast<unsigned>(base_.month)},
                                      std::chrono::day{static_cast<unsigned>(base_.day)}};
  const auto t = day + hours{base_.hour} + minutes{base_.minute} + seconds{base_.second} +
                 milliseconds{ms_ - base_ms_};
  const sys_days d = floor<days>(t);
  const year_month_day ymd{d};
  const hh_mm_ss hms{floor<seconds>(t - d)};
  return {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
          static_cast<int>(static_cast<unsigned>(ymd.day())), static_cast<int>(hms.hours().count()),
          static_cast<int>(hms.minutes().count()), static_cast<int>(hms.seconds().count())};
}

double ScriptedRandom::next() {
  if (values.empty()) return fallback;
  const double v = values.front();
  values.pop_front();
  return v;
}

// HeadlessShell ----------------------------------------------------------------

bool HeadlessShell::open(std::string_view target, std::string_view verb) {
  opened.emplace_back(target);
  log_.add("shell-open " + quoted(target) + " verb=" + std::string(verb));
  return true;
}

bool HeadlessShell::start(std::string_view command_line, WindowStyle style) {
  started.emplace_back(command_line);
  log_.add("start " + quoted(command_line) + " style=" + to_text(static_cast<int>(style)) +
           (start_succeeds ? "" : " -> failed"));
  return start_succeeds;
}

// HeadlessProcesses ------------------------------------------------------------

bool HeadlessProcesses::terminate(std::uint32_t id) {
  const auto it = std::find_if(entries.begin(), entries.end(),
                               [&](const ProcessEntry& e) { return e.id == id; });
  if (it == entries.end()) return false;
  log_.add("terminate " + to_text(id) + " " + it->image_name);
  entries.erase(it);
  return true;
}

void HeadlessProcesses::add(std::string image_name, std::string path) {
  entries.push_back({next_id_++, std::move(image_name), std::move(path)});
}

}  // namespace tav
