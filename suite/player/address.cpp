#include "suite/player/address.h"

#include <strings.h>
#include <sys/stat.h>

#include <cstdio>

namespace tav::suite {

namespace {

bool starts_with_nocase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Cuts a UTF-8 text to at most max bytes without splitting a character.
std::string cut_utf8(std::string_view text, std::size_t max) {
  if (text.size() <= max) return std::string(text);
  std::size_t end = max;
  // A character has at most three continuation bytes; text that is not
  // UTF-8 is cut where it must be.
  while (end > 0 && max - end < 3 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return std::string(text.substr(0, end));
}

}  // namespace

AddressKind address_kind(std::string_view address) {
  if (starts_with_nocase(address, "qvod://")) return AddressKind::Qvod;
  if (starts_with_nocase(address, "http://") || starts_with_nocase(address, "https://"))
    return AddressKind::Http;
  if (starts_with_nocase(address, "file://") || (!address.empty() && address[0] == '/'))
    return AddressKind::Local;
  return AddressKind::Unsupported;
}

std::string safe_file_name(std::string_view name) {
  std::string out;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    out += (c == '/' || c == '\\' || u < 0x20 || u == 0x7F) ? '_' : c;
  }
  while (!out.empty() && out.front() == ' ') out.erase(out.begin());
  while (!out.empty() && out.back() == ' ') out.pop_back();
  // 255 bytes is the usual limit of one name; ".part" must still fit.
  constexpr std::size_t kMax = 200;
  if (out.size() > kMax) {
    const std::size_t dot = out.rfind('.');
    const std::string ext =
        dot != std::string::npos && out.size() - dot <= 16 ? out.substr(dot) : std::string();
    out = cut_utf8(out, kMax - ext.size()) + ext;
    while (!out.empty() && out.back() == ' ') out.pop_back();
  }
  if (out == "." || out == "..") return {};
  // A film never takes the name of a download's work file.
  for (const std::string_view tail : {".part", ".part.job", ".part.job.new"}) {
    if (out.size() < tail.size() ||
        strcasecmp(out.c_str() + out.size() - tail.size(), std::string(tail).c_str()) != 0)
      continue;
    if (out.size() >= kMax) {  // room for the '_': a character less before the extension
      const std::size_t dot = out.rfind('.');
      out = cut_utf8(out.substr(0, dot), dot - 1) + out.substr(dot);
    }
    out += '_';
    break;
  }
  return out;
}

std::optional<QvodAddress> parse_qvod(std::string_view address) {
  if (!starts_with_nocase(address, "qvod://")) return std::nullopt;
  std::string_view rest = address.substr(7);
  std::string_view parts[3];
  for (auto& part : parts) {
    const std::size_t bar = rest.find('|');
    part = rest.substr(0, bar);
    rest = bar == std::string_view::npos ? std::string_view{} : rest.substr(bar + 1);
  }
  QvodAddress q;
  if (parts[0].empty() || parts[0].size() > 18) return std::nullopt;
  for (char c : parts[0]) {
    if (c < '0' || c > '9') return std::nullopt;
    q.size = q.size * 10 + (c - '0');
  }
  if (q.size <= 0) return std::nullopt;
  if (parts[1].empty() || parts[1].size() > 128) return std::nullopt;
  for (char c : parts[1]) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!ok) return std::nullopt;
  }
  q.hash = std::string(parts[1]);
  q.name = std::string(parts[2]);
  q.file_name = safe_file_name(parts[2]);
  if (q.file_name.empty()) q.file_name = q.hash;
  return q;
}

std::string qvod_text(const QvodAddress& q) {
  return "qvod://" + std::to_string(q.size) + "|" + q.hash + "|" + q.file_name + "|";
}

bool same_film(const QvodAddress& a, const QvodAddress& b) {
  return a.size == b.size && a.file_name == b.file_name &&
         strcasecmp(a.hash.c_str(), b.hash.c_str()) == 0;
}

std::string local_path(std::string_view address) {
  if (!address.empty() && address[0] == '/')
    return address.find('\0') == std::string_view::npos ? std::string(address) : std::string();
  if (!starts_with_nocase(address, "file://")) return {};
  std::string_view rest = address.substr(7);
  if (starts_with_nocase(rest, "localhost/")) rest.remove_prefix(9);
  // Only a path: an empty host, nothing that names another protocol.
  if (rest.empty() || rest[0] != '/') return {};
  std::string out;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '%' && i + 2 < rest.size()) {
      const int hi = hex_value(rest[i + 1]);
      const int lo = hex_value(rest[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += rest[i];
  }
  if (out.find('\0') != std::string::npos) return {};
  return out;
}

std::string local_file(std::string_view address) {
  std::string path = local_path(address);
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  return path;
}

std::string http_cache_file(const std::string& save_folder, std::string_view url) {
  // FNV-1a of the whole URL names the file; the extension of the URL's path
  // is kept so that the file says what it holds.
  std::uint64_t h = 1469598103934665603ull;
  for (char c : url) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  std::string_view path = url.substr(0, url.find_first_of("?#"));
  const std::size_t slash = path.rfind('/');
  const std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
  std::string ext;
  if (const std::size_t dot = last.rfind('.'); dot != std::string_view::npos) {
    ext = std::string(last.substr(dot));
    bool ok = ext.size() >= 2 && ext.size() <= 6;
    for (std::size_t i = 1; ok && i < ext.size(); ++i) {
      const char c = ext[i];
      ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    }
    if (!ok) ext.clear();
  }
  char name[40];
  std::snprintf(name, sizeof name, "cache-%016llx", static_cast<unsigned long long>(h));
  return save_folder + name + ext;
}

}  // namespace tav::suite
