// config.ini: a profile file of [section] headers and key=value lines.
//
// Reads and writes behave as the classic profile functions do: section and
// key names match without regard to case, the first of duplicate sections or
// keys wins, spaces around names and values are ignored, a value comes back
// cut to 254 characters, a missing file, section or key reads as the
// default. A write creates what is missing and leaves every other line of
// the file byte for byte as it was. A file that starts with a byte-order
// mark is UTF-8 or UTF-16 and stays so; its names and values pass through
// the code page on the way in and out, as the narrow functions pass them.
#pragma once

#include <string>
#include <string_view>

namespace tav {

class CodePage;
class Files;

struct SettingsFile {
  Files& files;
  const CodePage& code_page;
};

std::string read_setting(const SettingsFile& store, std::string_view path,
                         std::string_view section, std::string_view key,
                         std::string_view default_value);
// False when the file could not be written (it is then left as it was).
bool write_setting(const SettingsFile& store, std::string_view path, std::string_view section,
                   std::string_view key, std::string_view value);

// The longest value read_setting returns, in bytes of the code page.
inline constexpr std::size_t kMaxSettingLength = 254;
// config.ini files larger than this are not read (nor rewritten).
inline constexpr std::size_t kMaxSettingsFileSize = 4u << 20;

}  // namespace tav
