// The record of every outside effect the headless backend saw, one line each.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tav {

class EffectLog {
 public:
  void add(std::string line);
  const std::vector<std::string>& lines() const { return lines_; }
  bool contains(std::string_view part) const;
  std::size_t count(std::string_view part) const;
  void clear() { lines_.clear(); }
  // Called with every line as it is added (the scenario runner prints them).
  std::function<void(const std::string&)> sink;

 private:
  std::vector<std::string> lines_;
};

// A text in double quotes, with quotes, backslashes and line ends escaped.
std::string quoted(std::string_view text);

}  // namespace tav
