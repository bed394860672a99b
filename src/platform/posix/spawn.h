// Starting a program detached from this process: in a session of its own,
// never a zombie of ours, its signal mask cleared and its standard input
// and output on /dev/null. Plain POSIX (and Linux's close_range), so that
// the player suite's service client starts its service with it too.
#pragma once

#include <string>
#include <vector>

namespace tav {

struct DetachedStart {
  // Standard error on /dev/null too; else it is this process's.
  bool quiet_errors = false;
  // Every descriptor above standard error closed, close-on-exec or not.
  bool close_descriptors = false;
};

// argv[0] is the program's path. false when it could not be executed.
bool spawn_detached(const std::vector<std::string>& argv, DetachedStart how = {});

}  // namespace tav
