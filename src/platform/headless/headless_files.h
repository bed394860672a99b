// Files in front of the real ones: faults on command, and a record of every
// replacement and removal.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/headless/effect_log.h"

namespace tav {

// Files in front of others: reads go through to them as they are.
class FilesInFront : public Files {
 public:
  explicit FilesInFront(Files& inner) : inner_(inner) {}
  bool exists(std::string_view path) const override { return inner_.exists(path); }
  bool is_file(std::string_view path) const override { return inner_.is_file(path); }
  bool is_directory(std::string_view path) const override { return inner_.is_directory(path); }
  std::optional<std::string> read(std::string_view path, std::size_t max_bytes) const override {
    return inner_.read(path, max_bytes);
  }
  std::vector<FolderEntry> list(std::string_view folder) const override {
    return inner_.list(folder);
  }

 protected:
  Files& inner_;
};

// Files that fail on command, in front of the real ones: a read-only folder
// (every replacement and removal fails), a full disk (a replacement larger
// than the free space fails, after writing as much as fits when a limited
// writer is given), or the replacement of one named file. A failed
// replacement never reaches the file, which keeps its old content.
class FaultyFiles final : public FilesInFront {
 public:
  explicit FaultyFiles(Files& inner) : FilesInFront(inner) {}
  bool replace(std::string_view path, std::string_view content) override;
  bool remove(std::string_view path) override;

  // Every fault off.
  void heal();
  bool read_only = false;
  // The free space in bytes while the disk is full-limited; nothing for a
  // disk without limit. Replacements use it up and removals give it back.
  std::optional<std::size_t> free_bytes;
  // File names (the last part of the path) whose replacement fails.
  std::set<std::string> failing_names;
  // Replaces the file the real way but lets it grow to at most `limit`
  // bytes, so that writing its content fails part way; false when it
  // failed. Without it a full disk fails before writing anything.
  std::function<bool(Files& inner, std::string_view path, std::string_view content,
                     std::size_t limit)>
      limited_replace;
  // Why the last replacement or removal failed ("read-only", "disk full
  // after 10 of 24 bytes", …); empty when it was not one of these faults.
  const std::string& last_fault() const { return last_fault_; }

 private:
  std::string last_fault_;
};

// Files that log every replacement and removal: "file written NAME",
// "file removed NAME", or on failure "file write failed NAME" and "file
// remove failed NAME", followed by the fault in brackets when it was one.
class RecordingFiles final : public FilesInFront {
 public:
  RecordingFiles(Files& inner, EffectLog& log, const FaultyFiles* faults = nullptr)
      : FilesInFront(inner), log_(log), faults_(faults) {}
  bool replace(std::string_view path, std::string_view content) override;
  bool remove(std::string_view path) override;

 private:
  std::string failure(std::string_view what, std::string_view path) const;
  EffectLog& log_;
  const FaultyFiles* faults_;
};

}  // namespace tav
