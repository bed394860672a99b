// The running processes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tav {

struct ProcessEntry {
  std::uint32_t id = 0;
  std::string image_name;       // file name of the executable, "QvodTerminal.exe"
  std::string executable_path;  // full path of the executable, empty when unknown
};

class Processes {
 public:
  virtual ~Processes() = default;
  virtual std::vector<ProcessEntry> list() const = 0;
  // Ends the process; true when it was ended.
  virtual bool terminate(std::uint32_t id) = 0;
};

}  // namespace tav
