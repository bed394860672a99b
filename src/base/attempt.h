// "Continue with the next step after an error": runs one step and drops any
// failure it raises.
#pragma once

#include <exception>

namespace tav {

template <typename Step>
void attempt(Step&& step) noexcept {
  try {
    step();
  } catch (const std::exception&) {
  }
}

}  // namespace tav
