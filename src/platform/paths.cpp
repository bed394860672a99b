#include "platform/paths.h"

namespace tav {

bool ends_with_separator(std::string_view path) {
  return !path.empty() && (path.back() == kPathSeparator || path.back() == '/');
}

std::string join_path(std::string_view folder, std::string_view name) {
  std::string out(folder);
  if (!out.empty() && !ends_with_separator(out)) out += kPathSeparator;
  out += name;
  return out;
}

}  // namespace tav
