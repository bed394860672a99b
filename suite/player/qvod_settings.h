// The suite's settings, QvodPlayer.xml beside the library:
//   <?xml version="1.0" encoding="UTF-8"?>
//   <QvodPlayer Defaultsavepath="/home/user/Videos/Qvod/" Seedsource="http://10.0.0.2/seed/" />
// Other parts of the program read the file line by line and take the first
// line that contains Defaultsavepath=, so both attributes stay on one line.
//
// Seedsource is the user's to give. Without it the seeds come from the
// content server the program plays from: the program names it in the
// environment (TAVORI_SERVER_BASE, "http://H:P/box/") of the library it
// loads and the programs it starts, and its seeds are "http://H:P/seed/".
#pragma once

#include <string>
#include <string_view>

namespace tav::suite {

// The seed source of the built-in server, where nothing names another.
inline constexpr char kDefaultSeedSource[] = "http://127.0.0.1:8080/seed/";
inline constexpr char kServerBaseVariable[] = "TAVORI_SERVER_BASE";

struct QvodSettings {
  std::string save_folder;  // ends with '/'
  std::string seed_source;  // the seed URL is seed_source + hash
  bool seed_named = false;  // the file names the seed source
};

// The seed source of a content server: "scheme://host[:port]/seed/" for an
// http(s) base URL; "" for anything else.
std::string seed_source_of_server(std::string_view server_base);
// The seed source of the server the program plays from (TAVORI_SERVER_BASE);
// "" when the environment names none.
std::string program_seed_source();
// An http(s) address without spaces or control characters: what may stand
// for a seed source given from outside the settings file.
bool usable_seed_source(std::string_view seed_source);

// Reads <folder>/QvodPlayer.xml; creates it with the save folder's default
// ($HOME/Videos/Qvod/), and no seed source, when it is missing. A save
// folder missing from the file takes its default; a seed source missing
// from it is seed_fallback when that is usable, else the program's, else
// kDefaultSeedSource. Never throws.
QvodSettings load_qvod_settings(const std::string& folder, std::string_view seed_fallback = {});

// The text of the file for these settings (the seed source only when named).
std::string qvod_settings_text(const QvodSettings& settings);

// The value of attribute name="..." in text ("" when absent); XML entities
// in the value are decoded.
std::string xml_attribute(std::string_view text, std::string_view name);

// The user's home folder ($HOME, else the password database), without a
// trailing slash.
std::string home_folder();

}  // namespace tav::suite
