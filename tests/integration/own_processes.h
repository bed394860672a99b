// The real processes of the machine as a test sees them: only those whose
// program lies in the test's own folder. Other programs may run under the
// player suite's names at the same time (another test's, or a developer's),
// and must neither be found nor ended.
#pragma once

#include <string>
#include <vector>

#include "platform/posix/posix_system.h"

namespace tav::test {

class OwnProcesses final : public Processes {
 public:
  explicit OwnProcesses(std::string folder) : folder_(std::move(folder)) {}
  std::vector<ProcessEntry> list() const override {
    std::vector<ProcessEntry> own;
    for (ProcessEntry& p : real_.list())
      if (p.executable_path.rfind(folder_, 0) == 0) own.push_back(std::move(p));
    return own;
  }
  bool terminate(std::uint32_t id) override {
    for (const ProcessEntry& p : list())
      if (p.id == id) return real_.terminate(id);
    return false;
  }

 private:
  std::string folder_;
  ProcProcesses real_;
};

}  // namespace tav::test
