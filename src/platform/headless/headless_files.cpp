#include "platform/headless/headless_files.h"

#include "base/text.h"

namespace tav {

namespace {

std::string base_name(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::size_t size_on_disk(const Files& files, std::string_view path) {
  if (!files.is_file(path)) return 0;
  const auto content = files.read(path, Files::kDefaultReadLimit);
  return content ? content->size() : 0;
}

}  // namespace

// FaultyFiles ------------------------------------------------------------------

void FaultyFiles::heal() {
  read_only = false;
  free_bytes.reset();
  failing_names.clear();
}

bool FaultyFiles::replace(std::string_view path, std::string_view content) {
  last_fault_.clear();
  if (read_only) {
    last_fault_ = "read-only";
    return false;
  }
  if (failing_names.count(base_name(path)) != 0) {
    last_fault_ = "failing";
    return false;
  }
  const std::size_t old_size = free_bytes ? size_on_disk(inner_, path) : 0;
  bool ok = false;
  if (free_bytes && content.size() > *free_bytes) {
    // The new content goes beside the old file before it replaces it: it
    // needs its whole size free.
    const std::size_t fits = *free_bytes;
    if (fits > 0 && limited_replace) ok = limited_replace(inner_, path, content, fits);
    if (!ok) {
      last_fault_ = "disk full";
      if (fits > 0 && limited_replace)
        last_fault_ += " after " + to_text(static_cast<long long>(fits)) + " of " +
                       to_text(static_cast<long long>(content.size())) + " bytes";
      return false;
    }
  } else {
    ok = inner_.replace(path, content);
  }
  if (ok && free_bytes) {
    const std::size_t total = *free_bytes + old_size;
    *free_bytes = total > content.size() ? total - content.size() : 0;
  }
  return ok;
}

bool FaultyFiles::remove(std::string_view path) {
  last_fault_.clear();
  if (read_only) {
    last_fault_ = "read-only";
    return false;
  }
  const std::size_t size = free_bytes ? size_on_disk(inner_, path) : 0;
  const bool ok = inner_.remove(path);
  if (ok && free_bytes) *free_bytes += size;
  return ok;
}

// RecordingFiles ---------------------------------------------------------------

std::string RecordingFiles::failure(std::string_view what, std::string_view path) const {
  std::string line = "file " + std::string(what) + " failed " + base_name(path);
  if (faults_ && !faults_->last_fault().empty()) line += " (" + faults_->last_fault() + ")";
  return line;
}

bool RecordingFiles::replace(std::string_view path, std::string_view content) {
  const bool ok = inner_.replace(path, content);
  log_.add(ok ? "file written " + base_name(path) : failure("write", path));
  return ok;
}

bool RecordingFiles::remove(std::string_view path) {
  const bool ok = inner_.remove(path);
  log_.add(ok ? "file removed " + base_name(path) : failure("remove", path));
  return ok;
}

}  // namespace tav
