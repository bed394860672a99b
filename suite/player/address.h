// The media addresses the player takes, and where their downloads go.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tav::suite {

enum class AddressKind {
  Local,        // a file path (or file:// URL)
  Http,         // http:// or https://
  Qvod,         // qvod://<size>|<hash>|<file name>|
  Unsupported,  // any other scheme
};

AddressKind address_kind(std::string_view address);

struct QvodAddress {
  std::int64_t size = 0;  // bytes of the whole file
  std::string hash;       // letters and digits only
  std::string file_name;  // safe as one name inside the save folder
  std::string name;       // the file name as the address gives it
};

// Parses a qvod:// address; nullopt when it is not one or a part is unusable
// (no positive size, an empty hash or one with other than letters and
// digits). The file name is made safe: path separators and control
// characters become '_', "." and ".." and empty names become the hash, and
// overly long names are shortened keeping the extension.
std::optional<QvodAddress> parse_qvod(std::string_view address);

// The path of a local address ("file://" URLs are decoded).
std::string local_path(std::string_view address);

// The cache file an http(s) address is fetched into, inside save_folder
// (which ends with '/').
std::string http_cache_file(const std::string& save_folder, std::string_view url);

// A file name made safe as one name inside a folder ("" stays "").
std::string safe_file_name(std::string_view name);

}  // namespace tav::suite
