#include "startup/version.h"

#ifndef TAVORI_VERSION
#error "TAVORI_VERSION: the build passes the project's version (CMakeLists.txt)"
#endif

namespace tav {

namespace {

// The version as it stands in the executable, between a line of its own
// marker and a line end: tavori-release reads it from the program it packs
// and refuses a release of another version (updater/release_tool.cpp).
constexpr char kMarker[] = "\nTAVORI-PROGRAM-VERSION ";
[[gnu::used]] constexpr char kStamp[] = "\nTAVORI-PROGRAM-VERSION " TAVORI_VERSION "\n";
static_assert(sizeof kStamp > sizeof kMarker + 1, "an empty version");

}  // namespace

std::string_view program_version() {
  const std::string_view stamp(kStamp, sizeof kStamp - 1);
  return stamp.substr(sizeof kMarker - 1, stamp.size() - (sizeof kMarker - 1) - 1);
}

}  // namespace tav
