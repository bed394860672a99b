// Where the desktop client keeps its settings, lists and pages.
//
// The program keeps them in its application folder, beside the executable.
// That holds for a development build (build/main/app) and for any copy of
// the program in a folder of its own. An installed program's folder is
// shared by every user and not theirs to write: it carries the file
// kInstalledMarker, and then each user gets an application folder of their
// own, $XDG_DATA_HOME/tavori (~/.local/share/tavori), made and brought up to
// date from the installed folder at every start.
#pragma once

#include <string>

namespace tav::app {

// Installed beside the executable by `cmake --install` and the package.
inline constexpr const char* kInstalledMarker = "tavori-installed";

// The per-user folder under a data home ($XDG_DATA_HOME when it is an
// absolute path, else $HOME/.local/share, else the password database's
// home); "" when none can be told.
std::string user_data_folder();

// True when the executable's folder is an installed one: it carries the
// marker or cannot be written.
bool is_installed_folder(const std::string& program_folder);

// Makes or brings up to date a user's application folder from the
// installed one:
//   - the folder itself and its Qvod folder, private to the user (0700);
//   - i.gif and regsvr32 as links to the installed files (the list pages
//     show i.gif from beside them, the program starts regsvr32 from its
//     folder);
//   - every file of the installed Qvod folder copied (a changed one copied
//     again, through a temporary file renamed over the old one, so that a
//     running player keeps its library): the player library finds its
//     settings (QvodPlayer.xml) beside its real path, which must be the
//     user's.
// Files the program or the user made there (config.ini, the lists, pages,
// QvodPlayer.xml) are never touched. Returns "" on success, else what
// failed.
std::string prepare_user_folder(const std::string& installed_folder, const std::string& user_folder);

struct FolderChoice {
  std::string folder;  // the application folder to run in
  std::string error;   // set when the per-user folder could not be made
};

// The application folder for a program started from program_folder.
FolderChoice choose_app_folder(const std::string& program_folder);

}  // namespace tav::app
