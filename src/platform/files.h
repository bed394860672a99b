// Files and folders. Paths are UTF-8 texts; the platform maps them to its
// own file names.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tav {

struct FolderEntry {
  std::string name;
  bool directory = false;
  bool hidden = false;  // hidden or system entries
};

class Files {
 public:
  virtual ~Files() = default;
  virtual bool exists(std::string_view path) const = 0;
  virtual bool is_file(std::string_view path) const = 0;
  virtual bool is_directory(std::string_view path) const = 0;
  // The whole content, or nothing when the path is not a readable ordinary
  // file or is larger than max_bytes.
  virtual std::optional<std::string> read(std::string_view path,
                                          std::size_t max_bytes = kDefaultReadLimit) const = 0;
  // Replaces the whole file: the content goes to a temporary file in the same
  // folder, which is flushed to disk and then renamed over the old file. The
  // old file stays as it was when anything fails.
  virtual bool replace(std::string_view path, std::string_view content) = 0;
  virtual bool remove(std::string_view path) = 0;
  virtual std::vector<FolderEntry> list(std::string_view folder) const = 0;

  static constexpr std::size_t kDefaultReadLimit = 64u << 20;
};

}  // namespace tav
