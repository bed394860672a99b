// The media addresses the player takes, and where their downloads go.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tav::suite {

enum class AddressKind {
  Local,        // an absolute path, or a file:// URL
  Http,         // http:// or https://
  Qvod,         // qvod://<size>|<hash>|<file name>|
  Unsupported,  // anything else: other schemes, relative paths
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
// characters become '_', "." and ".." and empty names become the hash, a
// name that ends like a download's work file (".part", ".part.job",
// ".part.job.new") gets a '_' after it, and overly long names are
// shortened keeping the extension.
std::optional<QvodAddress> parse_qvod(std::string_view address);

// The address of q as the suite writes it: qvod://<size>|<hash>|<file name>|
// with the safe file name (it parses to the same film).
std::string qvod_text(const QvodAddress& q);

// Both addresses name the same film: size, hash (case aside) and file name.
bool same_film(const QvodAddress& a, const QvodAddress& b);

// The absolute path a local address names: the address itself when it
// starts with '/', or the path of a file:// URL (after an optional
// "localhost"), percent-decoded. "" for anything else: other schemes, a
// file:// URL whose path is not absolute (file://av://..., file://fd://3),
// relative paths, a path with a NUL byte.
std::string local_path(std::string_view address);

// local_path() when it names a regular file (a link to one counts); ""
// for devices, FIFOs, sockets, folders and missing files.
std::string local_file(std::string_view address);

// The cache file an http(s) address is fetched into, inside save_folder
// (which ends with '/').
std::string http_cache_file(const std::string& save_folder, std::string_view url);

// A file name made safe as one name inside a folder ("" stays "").
std::string safe_file_name(std::string_view name);

}  // namespace tav::suite
