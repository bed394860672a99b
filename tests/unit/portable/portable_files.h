// Files on std::filesystem, for builds without the POSIX backend (the
// Windows cross build). Paths are UTF-8 and may use either separator.
#pragma once

#include "platform/files.h"

namespace tav::test {

class PortableFiles final : public Files {
 public:
  bool exists(std::string_view path) const override;
  bool is_file(std::string_view path) const override;
  bool is_directory(std::string_view path) const override;
  std::optional<std::string> read(std::string_view path,
                                  std::size_t max_bytes = kDefaultReadLimit) const override;
  bool replace(std::string_view path, std::string_view content) override;
  bool remove(std::string_view path) override;
  std::vector<FolderEntry> list(std::string_view folder) const override;
};

}  // namespace tav::test
