#include "release/archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>

#include "release/crypto.h"

namespace tav::update {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kMagic = "TAVORI-ARCHIVE 1\n";
constexpr std::size_t kMaxHeader = 400;

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

bool read_line(std::FILE* in, std::string& line) {
  line.clear();
  for (;;) {
    const int c = std::fgetc(in);
    if (c == EOF) return false;
    if (c == '\n') return true;
    line += static_cast<char>(c);
    if (line.size() > kMaxHeader) return false;
  }
}

bool write_all(int fd, const char* data, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, data, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

}  // namespace

Failure failure_of_errno(int error) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return Failure::disk_full;
    case EACCES:
    case EPERM:
    case EROFS:
      return Failure::not_writable;
    default:
      return Failure::io;
  }
}

std::string write_archive(const std::string& folder, std::vector<FileEntry>& files, const std::string& out_path) {
  File out(std::fopen(out_path.c_str(), "wb"), &std::fclose);
  if (!out) return "cannot write " + out_path + ": " + std::strerror(errno);
  std::fwrite(kMagic.data(), 1, kMagic.size(), out.get());
  std::vector<char> buf(1 << 16);
  for (FileEntry& f : files) {
    if (!is_release_path(f.path)) return "not a release path: " + f.path;
    const std::string from = folder + "/" + f.path;
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) return "cannot read " + from + ": " + std::strerror(errno);
    if (!S_ISREG(st.st_mode)) return from + " is not a plain file";
    File in(std::fopen(from.c_str(), "rb"), &std::fclose);
    if (!in) return "cannot read " + from + ": " + std::strerror(errno);
    f.mode = st.st_mode & 0777u;
    f.size = static_cast<std::uint64_t>(st.st_size);
    char mode[8];
    const auto r = std::to_chars(mode, mode + sizeof mode, f.mode, 8);
    const std::string header = "f " + std::string(mode, r.ptr) + " " + std::to_string(f.size) + " " + f.path + "\n";
    std::fwrite(header.data(), 1, header.size(), out.get());
    Sha256 h;
    std::uint64_t copied = 0;
    std::size_t n = 0;
    while (copied < f.size && (n = std::fread(buf.data(), 1, buf.size(), in.get())) > 0) {
      n = static_cast<std::size_t>(std::min<std::uint64_t>(n, f.size - copied));
      h.add(buf.data(), n);
      std::fwrite(buf.data(), 1, n, out.get());
      copied += n;
    }
    if (copied != f.size) return from + " changed while it was packed";
    f.sha256 = h.hex();
  }
  std::fputs("end\n", out.get());
  if (std::fflush(out.get()) != 0 || std::ferror(out.get())) return "cannot write " + out_path + ": " + std::strerror(errno);
  return {};
}

Failure unpack_archive(const std::string& path, const Manifest& manifest, const std::string& staged,
                       std::string& why, const std::function<bool(std::uint64_t)>& progress) {
  File in(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!in) {
    why = "cannot read " + path + ": " + std::strerror(errno);
    return failure_of_errno(errno) == Failure::disk_full ? Failure::io : Failure::bad_archive;
  }
  std::map<std::string, const FileEntry*> wanted;
  for (const FileEntry& f : manifest.files) wanted[f.path] = &f;
  std::string line;
  if (!read_line(in.get(), line) || line + "\n" != kMagic) {
    why = "not a Tavori archive";
    return Failure::bad_archive;
  }
  std::vector<char> buf(1 << 16);
  std::uint64_t done = 0;
  for (;;) {
    if (!read_line(in.get(), line)) {
      why = "the archive ends early";
      return Failure::bad_archive;
    }
    if (line == "end") break;
    // "<kind> <mode> <size> <path>"
    if (line.size() < 2 || line[1] != ' ') {
      why = "bad entry: " + line;
      return Failure::bad_archive;
    }
    if (line[0] != 'f') {
      why = "entry of a kind that is not a plain file (a link?) refused: " + line;
      return Failure::bad_archive;
    }
    const std::size_t s1 = line.find(' ', 2);
    const std::size_t s2 = s1 == std::string::npos ? s1 : line.find(' ', s1 + 1);
    if (s2 == std::string::npos) {
      why = "bad entry: " + line;
      return Failure::bad_archive;
    }
    unsigned mode = 0;
    std::uint64_t size = 0;
    const std::string_view mode_text(line.data() + 2, s1 - 2), size_text(line.data() + s1 + 1, s2 - s1 - 1);
    const auto m = std::from_chars(mode_text.data(), mode_text.data() + mode_text.size(), mode, 8);
    const auto z = std::from_chars(size_text.data(), size_text.data() + size_text.size(), size);
    const std::string name = line.substr(s2 + 1);
    if (m.ec != std::errc() || m.ptr != mode_text.data() + mode_text.size() || z.ec != std::errc() ||
        z.ptr != size_text.data() + size_text.size() || mode > 0777) {
      why = "bad entry: " + line;
      return Failure::bad_archive;
    }
    if (!is_release_path(name)) {
      why = "path refused: " + name;
      return Failure::bad_archive;
    }
    const auto it = wanted.find(name);
    if (it == wanted.end() || it->second == nullptr) {
      why = "not in the manifest, or twice: " + name;
      return Failure::bad_archive;
    }
    const FileEntry& entry = *it->second;
    it->second = nullptr;
    if (entry.size != size || entry.mode != mode) {
      why = "size or mode differs from the manifest: " + name;
      return Failure::bad_archive;
    }
    const fs::path target = fs::path(staged) / name;
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    if (ec) {
      why = "cannot make " + target.parent_path().string() + ": " + ec.message();
      return failure_of_errno(ec.value());
    }
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      why = "cannot write " + target.string() + ": " + std::strerror(errno);
      return failure_of_errno(errno);
    }
    Sha256 h;
    std::uint64_t left = size;
    while (left > 0) {
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, buf.size()));
      const std::size_t n = std::fread(buf.data(), 1, want, in.get());
      if (n == 0) {
        ::close(fd);
        why = "the archive ends early in " + name;
        return Failure::bad_archive;
      }
      h.add(buf.data(), n);
      if (!write_all(fd, buf.data(), n)) {
        const int e = errno;
        ::close(fd);
        why = "cannot write " + target.string() + ": " + std::strerror(e);
        return failure_of_errno(e);
      }
      left -= n;
      done += n;
      if (progress && !progress(done)) {
        ::close(fd);
        why = "cancelled";
        return Failure::cancelled;
      }
    }
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) {
      const int e = errno;
      ::close(fd);
      why = "cannot write " + target.string() + ": " + std::strerror(e);
      return failure_of_errno(e);
    }
    if (::close(fd) != 0) {
      why = "cannot write " + target.string() + ": " + std::strerror(errno);
      return failure_of_errno(errno);
    }
    if (h.hex() != entry.sha256) {
      why = "SHA-256 differs from the manifest: " + name;
      return Failure::bad_archive;
    }
  }
  if (std::fgetc(in.get()) != EOF) {
    why = "bytes after the end of the archive";
    return Failure::bad_archive;
  }
  for (const auto& [name, left] : wanted)
    if (left) {
      why = "missing from the archive: " + name;
      return Failure::bad_archive;
    }
  return Failure::none;
}

}  // namespace tav::update
