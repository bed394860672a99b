// Joining paths with the platform's separator.
#pragma once

#include <string>
#include <string_view>

namespace tav {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// folder + separator + name (one separator, whether or not the folder ends
// with one).
std::string join_path(std::string_view folder, std::string_view name);
bool ends_with_separator(std::string_view path);

}  // namespace tav
