#include "suite/player/qvod_settings.h"

#include "base/text.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "suite/player/address.h"
#include "suite/player/embedded_player.h"

namespace tav::suite {

namespace {


std::string with_slash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace

std::string home_folder() {
  std::string home;
  if (const char* h = std::getenv("HOME"); h && h[0] == '/') home = h;
  if (home.empty()) {
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) home = pw->pw_dir;
  }
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  return home;
}

std::string xml_attribute(std::string_view text, std::string_view name) {
  for (std::size_t at = text.find(name); at != std::string_view::npos;
       at = text.find(name, at + 1)) {
    // A whole attribute name: not the tail of a longer one.
    if (at > 0) {
      const char before = text[at - 1];
      if (before != ' ' && before != '\t' && before != '\n' && before != '\r') continue;
    }
    std::size_t i = at + name.size();
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i >= text.size() || text[i] != '=') continue;
    ++i;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i >= text.size() || (text[i] != '"' && text[i] != '\'')) continue;
    const char quote = text[i++];
    const std::size_t end = text.find(quote, i);
    if (end == std::string_view::npos) return {};
    return xml_unescape(text.substr(i, end - i));
  }
  return {};
}

std::string seed_source_of_server(std::string_view server_base) {
  const std::size_t scheme = server_base.find("://");
  if (scheme == std::string_view::npos) return {};
  const std::string name = ascii_lower(server_base.substr(0, scheme));
  if (name != "http" && name != "https") return {};
  const std::size_t host = scheme + 3;
  const std::size_t end = std::min(server_base.find_first_of("/?#", host), server_base.size());
  if (end == host) return {};
  const std::string seed = std::string(server_base.substr(0, end)) + "/seed/";
  return usable_seed_source(seed) ? seed : std::string();
}

std::string program_seed_source() {
  const char* base = std::getenv(kServerBaseVariable);
  return base ? seed_source_of_server(base) : std::string();
}

bool usable_seed_source(std::string_view seed_source) {
  for (const char c : seed_source)
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
  return address_kind(seed_source) == AddressKind::Http;
}

std::string qvod_settings_text(const QvodSettings& settings) {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<QvodPlayer Defaultsavepath=\"" +
                     xml_escape(settings.save_folder) + "\"";
  if (settings.seed_named) text += " Seedsource=\"" + xml_escape(settings.seed_source) + "\"";
  return text + " />\n";
}

QvodSettings load_qvod_settings(const std::string& folder, std::string_view seed_fallback) {
  QvodSettings defaults;
  defaults.save_folder = home_folder() + "/Videos/Qvod/";
  // Where no file names one: the seed source the caller was given, the
  // program's, the built-in one. None of them is written into the file.
  defaults.seed_source = usable_seed_source(seed_fallback) ? std::string(seed_fallback)
                                                           : program_seed_source();
  if (defaults.seed_source.empty()) defaults.seed_source = kDefaultSeedSource;

  const std::string path = with_slash(folder) + kSettingsFileName;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    // Written once, through a temporary file, so a reader never sees half
    // of it, readable by the user alone; if the folder is read-only the
    // defaults still apply.
    const std::string temp = path + ".new";
    const auto create = [&] {
      return ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    };
    int fd = create();
    if (fd < 0 && errno == EEXIST && ::unlink(temp.c_str()) == 0) fd = create();  // a torn write's
    if (fd < 0) return defaults;
    const std::string text = qvod_settings_text(defaults);
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (::close(fd) != 0 || !written || std::rename(temp.c_str(), path.c_str()) != 0)
      ::unlink(temp.c_str());
    return defaults;
  }
  const std::string text{std::istreambuf_iterator<char>(in), {}};
  QvodSettings settings;
  settings.save_folder = with_slash(xml_attribute(text, "Defaultsavepath"));
  settings.seed_source = xml_attribute(text, "Seedsource");
  settings.seed_named = !settings.seed_source.empty();
  if (settings.save_folder.empty()) settings.save_folder = defaults.save_folder;
  if (!settings.seed_named) settings.seed_source = defaults.seed_source;
  return settings;
}

}  // namespace tav::suite
