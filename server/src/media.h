// Files of the media folder, and the byte ranges asked of them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace tsrv {

struct MediaFile {
  std::filesystem::path path;  // canonical
  std::uintmax_t size = 0;
};

class MediaFolder {
 public:
  explicit MediaFolder(std::filesystem::path dir) : dir_(std::move(dir)) {}
  const std::filesystem::path& dir() const { return dir_; }

  // The regular file of that name directly inside the folder. Nothing for
  // names that are not plain file names, for missing files, and for
  // symbolic links that lead out of the folder.
  std::optional<MediaFile> find(std::string_view name) const;

  // The SHA-1 of the file's bytes, 40 upper-case hex digits: what its
  // qvod:// address and its seed are named by. Worked out once and kept
  // while the file keeps its size and modification time; "" when the file
  // cannot be read.
  std::string content_hash(const MediaFile& file) const;

 private:
  struct Hashed {
    std::uintmax_t size = 0;
    std::int64_t mtime_ns = 0;
    std::string hash;
  };
  std::filesystem::path dir_;
  mutable std::mutex hashes_mutex_;
  mutable std::map<std::filesystem::path, Hashed> hashes_;  // by canonical path
};

// Content type for a media file name.
const char* media_type(std::string_view name);

// The answer to a "Range" header for a body of the given size.
struct ByteRange {
  enum class Kind { whole, part, unsatisfiable } kind = Kind::whole;
  std::uintmax_t first = 0;
  std::uintmax_t length = 0;
};
// One "bytes=a-b", "bytes=a-" or "bytes=-n" range; the end is clipped to
// the size. Anything else (several ranges, other units, bad syntax) gives
// the whole body, as a server may ignore a Range header.
ByteRange byte_range(std::string_view header, std::uintmax_t size);

}  // namespace tsrv
