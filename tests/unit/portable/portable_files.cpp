#include "portable/portable_files.h"

#include <filesystem>
#include <fstream>
#include <random>

namespace tav::test {

namespace fs = std::filesystem;

namespace {

// A path from UTF-8: a plain std::string would be taken in the system's
// narrow code page on Windows.
fs::path path_of(std::string_view utf8) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string utf8_of(const fs::path& p) {
  const std::u8string s = p.u8string();
  return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

}  // namespace

bool PortableFiles::exists(std::string_view path) const {
  std::error_code ec;
  return fs::exists(path_of(path), ec);
}

bool PortableFiles::is_file(std::string_view path) const {
  std::error_code ec;
  return fs::is_regular_file(path_of(path), ec);
}

bool PortableFiles::is_directory(std::string_view path) const {
  std::error_code ec;
  return fs::is_directory(path_of(path), ec);
}

std::optional<std::string> PortableFiles::read(std::string_view path, std::size_t max_bytes) const {
  const fs::path p = path_of(path);
  std::error_code ec;
  if (!fs::is_regular_file(p, ec)) return std::nullopt;
  const std::uintmax_t size = fs::file_size(p, ec);
  if (ec || size > max_bytes) return std::nullopt;
  std::ifstream in(p, std::ios::binary);
  if (!in) return std::nullopt;
  std::string out(static_cast<std::size_t>(size), '\0');
  in.read(out.data(), static_cast<std::streamsize>(out.size()));
  out.resize(static_cast<std::size_t>(in.gcount()));
  return out;
}

bool PortableFiles::replace(std::string_view path, std::string_view content) {
  const fs::path target = path_of(path);
  std::error_code ec;
  if (fs::is_directory(target, ec)) return false;
  std::random_device rd;
  fs::path temp = target;
  temp += ".tmp-" + std::to_string(rd());
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.flush();
    if (!out) {
      out.close();
      fs::remove(temp, ec);
      return false;
    }
  }
  fs::rename(temp, target, ec);
  if (ec) {
    fs::remove(temp, ec);
    return false;
  }
  return true;
}

bool PortableFiles::remove(std::string_view path) {
  std::error_code ec;
  const fs::path p = path_of(path);
  return !fs::is_directory(p, ec) && fs::remove(p, ec);
}

std::vector<FolderEntry> PortableFiles::list(std::string_view folder) const {
  std::vector<FolderEntry> out;
  std::error_code ec;
  for (fs::directory_iterator it(path_of(folder), ec), end; !ec && it != end; it.increment(ec)) {
    FolderEntry entry;
    entry.name = utf8_of(it->path().filename());
    entry.hidden = !entry.name.empty() && entry.name.front() == '.';
    std::error_code type_ec;
    entry.directory = it->is_directory(type_ec);
    out.push_back(std::move(entry));
  }
  return out;
}

}  // namespace tav::test
