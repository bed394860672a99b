#include "release/manifest.h"

#include <charconv>

namespace tav::update {

namespace {

std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < line.size()) {
    const std::size_t end = line.find(' ', i);
    out.push_back(line.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i));
    if (end == std::string_view::npos) break;
    i = end + 1;
  }
  return out;
}

bool parse_u64(std::string_view text, std::uint64_t& out, int base = 10) {
  if (text.empty() || text.size() > 20) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out, base);
  return ec == std::errc() && end == text.data() + text.size();
}

bool fail(std::string* error, std::string why) {
  if (error) *error = std::move(why);
  return false;
}

bool ends_with(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

}  // namespace

bool is_hex(std::string_view text, std::size_t digits) {
  if (text.size() != digits) return false;
  for (const char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

bool is_version(std::string_view v) {
  if (v.empty() || v.size() > 32 || v.front() == '.' || v.back() == '.') return false;
  bool digit_before = false;
  for (const char c : v) {
    if (c == '.') {
      if (!digit_before) return false;
      digit_before = false;
    } else if (c >= '0' && c <= '9') {
      digit_before = true;
    } else {
      return false;
    }
  }
  return true;
}

int compare_versions(std::string_view a, std::string_view b) {
  auto next = [](std::string_view& s) -> std::uint64_t {
    std::uint64_t n = 0;
    std::size_t i = 0;
    while (i < s.size() && s[i] != '.') n = n * 10 + static_cast<std::uint64_t>(s[i++] - '0');
    s = i < s.size() ? s.substr(i + 1) : std::string_view();
    return n;
  };
  while (!a.empty() || !b.empty()) {
    const std::uint64_t x = next(a), y = next(b);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

bool is_user_file(std::string_view path) {
  static constexpr std::string_view kNames[] = {
      "config.ini", "date.dat", "f.dat", "date_f.dat", "c.htm", "f.htm",
      "Qvod/QvodPlayer.xml", "tavori-installed", "tavori-pings.log", kInstalledManifest};
  for (const std::string_view n : kNames)
    if (path == n) return true;
  const std::size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  return ends_with(name, ".dat") || ends_with(name, ".htm") || ends_with(name, ".ini") ||
         ends_with(name, ".lock") || name == "QvodPlayer.xml";
}

bool is_release_path(std::string_view path) {
  if (path.empty() || path.size() > 255 || path.front() == '/' || path.back() == '/') return false;
  for (const char c : path)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '\\') return false;
  std::size_t i = 0;
  while (i <= path.size()) {
    std::size_t end = path.find('/', i);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(i, end - i);
    if (part.empty() || part == "." || part == "..") return false;
    i = end + 1;
  }
  if (path.rfind(".update", 0) == 0) return false;  // the updater's working folder
  return !is_user_file(path);
}

std::string manifest_body(const Manifest& m) {
  std::string out = "tavori-release 1\nversion " + m.version + "\narchive " + m.archive + "\nsize " +
                    std::to_string(m.size) + "\nsha256 " + m.sha256 + "\n";
  for (const FileEntry& f : m.files) {
    char mode[8];
    const auto r = std::to_chars(mode, mode + sizeof mode, f.mode & 0777u, 8);
    out += "file " + std::string(mode, r.ptr) + " " + std::to_string(f.size) + " " + f.sha256 + " " +
           f.path + "\n";
  }
  return out;
}

std::string manifest_text(const Manifest& m) {
  return manifest_body(m) + "signature " + m.signature + "\n";
}

std::optional<Manifest> parse_manifest(std::string_view text, std::string* error) {
  Manifest m;
  if (text.size() > kMaxManifestBytes) return fail(error, "too long"), std::nullopt;
  std::size_t at = 0;
  int line_no = 0;
  bool have_version = false, have_archive = false, have_size = false, have_sha = false;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) return fail(error, "the last line has no end"), std::nullopt;
    const std::string_view line = text.substr(at, end - at);
    const std::vector<std::string_view> w = words(line);
    ++line_no;
    const std::string where = "line " + std::to_string(line_no);
    if (line_no == 1) {
      if (line != "tavori-release 1") return fail(error, "not a Tavori release manifest"), std::nullopt;
    } else if (w.size() == 2 && w[0] == "version" && !have_version) {
      if (!is_version(w[1])) return fail(error, where + ": bad version"), std::nullopt;
      m.version = w[1];
      have_version = true;
    } else if (w.size() == 2 && w[0] == "archive" && !have_archive) {
      if (!is_release_path(w[1]) || w[1].find('/') != std::string_view::npos)
        return fail(error, where + ": bad archive name"), std::nullopt;
      m.archive = w[1];
      have_archive = true;
    } else if (w.size() == 2 && w[0] == "size" && !have_size) {
      if (!parse_u64(w[1], m.size)) return fail(error, where + ": bad size"), std::nullopt;
      have_size = true;
    } else if (w.size() == 2 && w[0] == "sha256" && !have_sha) {
      if (!is_hex(w[1], 64)) return fail(error, where + ": bad sha256"), std::nullopt;
      m.sha256 = w[1];
      have_sha = true;
    } else if (w.size() >= 5 && w[0] == "file") {
      FileEntry f;
      std::uint64_t mode = 0;
      if (!parse_u64(w[1], mode, 8) || mode > 0777) return fail(error, where + ": bad mode"), std::nullopt;
      f.mode = static_cast<unsigned>(mode);
      if (!parse_u64(w[2], f.size)) return fail(error, where + ": bad size"), std::nullopt;
      if (!is_hex(w[3], 64)) return fail(error, where + ": bad sha256"), std::nullopt;
      f.sha256 = w[3];
      // The path is the rest of the line (it may hold spaces).
      const std::size_t path_at = static_cast<std::size_t>(w[4].data() - line.data());
      f.path = line.substr(path_at);
      if (!is_release_path(f.path)) return fail(error, where + ": path not allowed: " + f.path), std::nullopt;
      for (const FileEntry& other : m.files)
        if (other.path == f.path) return fail(error, where + ": path twice"), std::nullopt;
      m.files.push_back(std::move(f));
    } else if (w.size() == 2 && w[0] == "signature") {
      if (!is_hex(w[1], 128)) return fail(error, where + ": bad signature"), std::nullopt;
      if (end + 1 != text.size()) return fail(error, "text after the signature"), std::nullopt;
      m.signature = w[1];
      m.signed_text = text.substr(0, at);
      if (!have_version || !have_archive || !have_size || !have_sha || m.files.empty())
        return fail(error, "fields missing"), std::nullopt;
      return m;
    } else {
      return fail(error, where + ": not understood"), std::nullopt;
    }
    at = end + 1;
  }
  return fail(error, "no signature"), std::nullopt;
}

}  // namespace tav::update
