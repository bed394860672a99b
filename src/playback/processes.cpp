#include "playback/processes.h"

#include "platform/processes.h"

namespace tav {

std::uint32_t findProcessId(const Processes& processes, std::string_view text) {
  for (const ProcessEntry& e : processes.list())
    if (e.image_name.find(text) != std::string::npos) return e.id;
  return 0;
}

bool terminateProcess(Processes& processes, std::uint32_t id) { return processes.terminate(id); }

void killProcessByName(Processes& processes, std::string_view name) {
  if (const std::uint32_t id = findProcessId(processes, name)) terminateProcess(processes, id);
}

}  // namespace tav
