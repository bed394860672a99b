// The release manifest: which version a release is, its archive (name,
// size, SHA-256) and every program file in it, signed with Ed25519.
//
//   tavori-release 1
//   version 1.1
//   archive tavori-1.1.tvr
//   size 28123456
//   sha256 <64 hex digits>
//   file 755 12341704 <64 hex digits> tavori
//   file 644 850 <64 hex digits> i.gif
//   ...
//   signature <128 hex digits>
//
// The signature covers every byte before the line "signature ...". Plain
// C++: no crypto here (see crypto.h), so that the server and tavori can
// read a manifest without libsodium.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tav::update {

// The installed release's manifest, kept in the program's folder.
inline constexpr const char* kInstalledManifest = "release.manifest";
// The manifest's name on the server, under <server base>update/.
inline constexpr const char* kServerManifest = "release.txt";
// At most this long; a longer reply is not a manifest.
inline constexpr std::size_t kMaxManifestBytes = 1 << 20;

struct FileEntry {
  std::string path;  // relative, "/" between folders
  unsigned mode = 0644;
  std::uint64_t size = 0;
  std::string sha256;  // lower-case hex
};

struct Manifest {
  std::string version;
  std::string archive;  // a plain file name
  std::uint64_t size = 0;
  std::string sha256;  // of the archive, lower-case hex
  std::vector<FileEntry> files;
  std::string signature;  // 128 hex digits; empty while unsigned
  std::string signed_text;  // the bytes the signature covers (after parse or format)
};

// The text without the signature line (what is signed).
std::string manifest_body(const Manifest& m);
// The whole manifest: body and signature line.
std::string manifest_text(const Manifest& m);
// Strict: any unknown line, bad number, bad hex or bad path is garbage.
// On failure returns nullopt and says why in error.
std::optional<Manifest> parse_manifest(std::string_view text, std::string* error = nullptr);

// "1", "1.0", "1.10": numbers separated by dots.
bool is_version(std::string_view v);
// <0, 0, >0 as a is older, the same as, newer than b ("1.0" == "1.0.0").
int compare_versions(std::string_view a, std::string_view b);

// A path a release may carry: relative, "/" between parts, no empty part,
// no "." or "..", no backslash or control character, not one of the
// user's files (user_file) and not in the updater's own folder.
bool is_release_path(std::string_view path);
// The user's own files in the application folder, never in a release:
// config.ini, the lists (*.dat), list pages (*.htm), the suite's settings
// (Qvod/QvodPlayer.xml), the installed marker, locks.
bool is_user_file(std::string_view path);

bool is_hex(std::string_view text, std::size_t digits);

}  // namespace tav::update
