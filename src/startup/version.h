// The version of this build of the program: the one number the build
// (CMakeLists.txt, project VERSION) gives the program, its release and the
// demo server. The start-up makes Ver/Name of config.ini hold it, and the
// update check compares the server's version with what it finds there.
#pragma once

#include <string_view>

namespace tav {

// "1.0": numbers and dots.
std::string_view program_version();

}  // namespace tav
