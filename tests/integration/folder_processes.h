// Ends every process whose program lies in a folder: what a test's program
// started outside its own process group (the suite's service, an updated
// program) goes with the test.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

namespace tav::test {

inline void end_processes_in(const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  const std::string prefix = folder.string() + "/";
  for (int round = 0; round < 3; ++round) {
    bool found = false;
    std::error_code ec;
    for (fs::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      std::error_code link_error;
      const std::string exe = fs::read_symlink(it->path() / "exe", link_error).string();
      if (link_error || exe.rfind(prefix, 0) != 0) continue;
      const pid_t pid = std::atoi(name.c_str());
      const pid_t group = getpgid(pid);
      if (group > 1 && group != getpgrp()) kill(-group, SIGKILL);
      kill(pid, SIGKILL);
      found = true;
    }
    if (!found) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
}

}  // namespace tav::test
