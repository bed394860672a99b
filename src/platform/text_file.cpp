#include "platform/text_file.h"

#include "platform/code_page.h"
#include "platform/files.h"

namespace tav {

std::optional<std::string> read_text_file(const Files& files, const CodePage& code_page,
                                          std::string_view path) {
  auto bytes = files.read(path);
  if (!bytes) return std::nullopt;
  return code_page.to_utf8(*bytes);
}

bool write_text_file(Files& files, const CodePage& code_page, std::string_view path,
                     std::string_view text) {
  return files.replace(path, code_page.from_utf8(text));
}

}  // namespace tav
