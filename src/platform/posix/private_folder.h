// Folders that only this user can enter, for sockets and locks.
#pragma once

#include <string>

namespace tav {

// Whether folder is a folder (not a link) of this user that no one else
// may read, write or enter.
bool is_private_folder(const std::string& folder);

// The user's runtime folder ($XDG_RUNTIME_DIR) when it is private; else
// "tavori-run" in the user's cache folder ($XDG_CACHE_HOME, ~/.cache), made
// or closed to others as needed. Never a folder that others share, such as
// /tmp. Empty when neither can be had.
std::string private_runtime_folder();

}  // namespace tav
