// The scenario runner: the program's start-up and main window on the
// headless backend, driven line by line by a script (docs/sim.md).
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace tav::sim {

struct Options {
  std::string app_folder;   // empty: a fresh temporary folder, removed at the end
  std::string server_base;  // the content server's base URL
  bool real_http = false;   // fetch through libcurl instead of scripted replies
  bool echo = true;         // print every command before its effects
};

class Runner {
 public:
  Runner(Options options, std::ostream& out);
  ~Runner();
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;

  // Runs a whole script; returns the number of failed checks (a line that
  // cannot be understood counts as one).
  int run(std::istream& script);
  // Runs one line; false when it failed.
  bool execute(const std::string& line, int number);

 private:
  struct State;
  std::unique_ptr<State> s_;
};

// The words of a script line: spaces separate, "double quotes" group, and
// \" \\ \n \r \t escape inside quotes.
std::vector<std::string> split_words(const std::string& line);

}  // namespace tav::sim
