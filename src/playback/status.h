// Texts of the status tick.
#pragma once

#include <string>

namespace tav {

// "mm:ss", or "h:mm:ss" from an hour on.
std::string formatTime(int seconds);

}  // namespace tav
