#include "media.h"

#include <sys/stat.h>

#include "base/sha1.h"
#include "base/text.h"
#include "catalogue.h"

namespace tsrv {

namespace fs = std::filesystem;

std::optional<MediaFile> MediaFolder::find(std::string_view name) const {
  if (!is_plain_file_name(name)) return std::nullopt;
  std::error_code ec;
  const fs::path folder = fs::canonical(dir_, ec);
  if (ec) return std::nullopt;
  const fs::path file = fs::canonical(dir_ / fs::path(std::string(name)), ec);
  if (ec || file.parent_path() != folder) return std::nullopt;
  if (!fs::is_regular_file(file, ec) || ec) return std::nullopt;
  const std::uintmax_t size = fs::file_size(file, ec);
  if (ec) return std::nullopt;
  return MediaFile{file, size};
}

namespace {

// Size and modification time of a file, which say when its hash is stale.
bool stamp(const fs::path& path, std::uintmax_t& size, std::int64_t& mtime_ns) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  size = static_cast<std::uintmax_t>(st.st_size);
  mtime_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

}  // namespace

std::string MediaFolder::content_hash(const MediaFile& file) const {
  std::uintmax_t size = 0;
  std::int64_t mtime = 0;
  if (!stamp(file.path, size, mtime)) return {};
  {
    std::lock_guard<std::mutex> lock(hashes_mutex_);
    const auto it = hashes_.find(file.path);
    if (it != hashes_.end() && it->second.size == size && it->second.mtime_ns == mtime)
      return it->second.hash;
  }
  // Outside the lock: another file's hash is not held up by this one.
  const std::string hash = tav::sha1_file_hex(file.path);
  std::uintmax_t size_after = 0;
  std::int64_t mtime_after = 0;
  // A file that changed while it was read is not remembered.
  if (!hash.empty() && stamp(file.path, size_after, mtime_after) && size_after == size &&
      mtime_after == mtime) {
    std::lock_guard<std::mutex> lock(hashes_mutex_);
    hashes_[file.path] = Hashed{size, mtime, hash};
  }
  return hash;
}

const char* media_type(std::string_view name) {
  const std::string lower = tav::ascii_lower(name);
  if (tav::ends_with(lower, ".mp4") || tav::ends_with(lower, ".m4v")) return "video/mp4";
  if (tav::ends_with(lower, ".webm")) return "video/webm";
  if (tav::ends_with(lower, ".mkv")) return "video/x-matroska";
  if (tav::ends_with(lower, ".m4a")) return "audio/mp4";
  return "application/octet-stream";
}

namespace {

// Digits only, nothing else; false on overflow.
bool parse_offset(std::string_view s, std::uintmax_t& out) {
  if (s.empty() || s.size() > 18) return false;
  out = 0;
  for (const char c : s) {
    if (c < '0' || c > '9') return false;
    out = out * 10 + static_cast<std::uintmax_t>(c - '0');
  }
  return true;
}

}  // namespace

ByteRange byte_range(std::string_view header, std::uintmax_t size) {
  ByteRange whole{ByteRange::Kind::whole, 0, size};
  const std::string h = tav::trim_spaces(header);
  if (!tav::starts_with(tav::ascii_lower(h), "bytes=")) return whole;
  const std::string range_text = tav::trim_spaces(std::string_view(h).substr(6));
  if (tav::contains(range_text, ",")) return whole;
  const std::size_t dash = range_text.find('-');
  if (dash == std::string::npos) return whole;
  const std::string_view a = std::string_view(range_text).substr(0, dash);
  const std::string_view b = std::string_view(range_text).substr(dash + 1);

  std::uintmax_t first = 0, last = 0;
  if (a.empty()) {  // the final n bytes
    std::uintmax_t n = 0;
    if (!parse_offset(b, n)) return whole;
    if (n == 0 || size == 0) return {ByteRange::Kind::unsatisfiable, 0, 0};
    if (n > size) n = size;
    return {ByteRange::Kind::part, size - n, n};
  }
  if (!parse_offset(a, first)) return whole;
  if (b.empty()) {
    last = size == 0 ? 0 : size - 1;
  } else {
    if (!parse_offset(b, last) || last < first) return whole;
    if (size > 0 && last > size - 1) last = size - 1;
  }
  if (first >= size) return {ByteRange::Kind::unsatisfiable, 0, 0};
  return {ByteRange::Kind::part, first, last - first + 1};
}

}  // namespace tsrv
