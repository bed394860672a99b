// The link protocol's fixed addresses and texts.
#pragma once

#include <string>
#include <string_view>

namespace tav {

// The address the end of a film sends the player page panel to, so that its
// handler starts the next episode. Its host is under the reserved ".invalid"
// domain and never resolves; the handler recognises "http://" and the
// host's first label.
inline constexpr std::string_view kSentinelAddress = "http://tavori-next-episode.invalid/";
inline constexpr std::string_view kSentinelPrefix = "http://tavori-next-episode";

inline constexpr std::string_view kLookupScheme = "eebovod://";
inline constexpr std::string_view kPlayScheme = "eeqvod://";

// A program path as the shell's command line wants it: quoted when it holds
// spaces.
std::string command_for(const std::string& program);

}  // namespace tav
