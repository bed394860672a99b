// The suite's settings, QvodPlayer.xml beside the library:
//   <?xml version="1.0" encoding="UTF-8"?>
//   <QvodPlayer Defaultsavepath="/home/user/Videos/Qvod/" Seedsource="http://127.0.0.1:8080/seed/" />
// Other parts of the program read the file line by line and take the first
// line that contains Defaultsavepath=, so both attributes stay on one line.
#pragma once

#include <string>
#include <string_view>

namespace tav::suite {

inline constexpr char kDefaultSeedSource[] = "http://127.0.0.1:8080/seed/";

struct QvodSettings {
  std::string save_folder;  // ends with '/'
  std::string seed_source;  // the seed URL is seed_source + hash
};

// Reads <folder>/QvodPlayer.xml; creates it with the defaults
// ($HOME/Videos/Qvod/ and kDefaultSeedSource) when it is missing. A value
// missing from the file takes its default. Never throws.
QvodSettings load_qvod_settings(const std::string& folder);

// The text of the file for these settings.
std::string qvod_settings_text(const QvodSettings& settings);

// The value of attribute name="..." in text ("" when absent); XML entities
// in the value are decoded.
std::string xml_attribute(std::string_view text, std::string_view name);

// The user's home folder ($HOME, else the password database), without a
// trailing slash.
std::string home_folder();

}  // namespace tav::suite
