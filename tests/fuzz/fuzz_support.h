// Shared pieces of the fuzz targets: an in-memory file system, a reader of
// the fuzzer's bytes, and the check that reports a broken invariant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace tav::fuzz {

// A broken invariant: says which and stops the run, so that libFuzzer keeps
// the input as a crash and the replay fails.
[[noreturn]] inline void violated(const char* what, std::string_view detail = {}) {
  std::fprintf(stderr, "\n*** invariant violated: %s\n", what);
  if (!detail.empty()) {
    std::fprintf(stderr, "    detail: ");
    for (const char c : detail.substr(0, 2000)) {
      const auto b = static_cast<unsigned char>(c);
      if (b >= 0x20 && b < 0x7F && b != '\\') std::fputc(b, stderr);
      else std::fprintf(stderr, "\\x%02X", b);
    }
    std::fputc('\n', stderr);
  }
  std::abort();
}

#define FUZZ_CHECK(cond, detail) \
  do {                           \
    if (!(cond)) ::tav::fuzz::violated(#cond, (detail)); \
  } while (0)

// Files kept in memory: no disk, no temporary files, nothing left behind.
// Folders are the ones named in `folders` and every folder of a stored file.
class MemoryFiles final : public Files {
 public:
  bool exists(std::string_view path) const override { return is_file(path) || is_directory(path); }
  bool is_file(std::string_view path) const override { return files.count(std::string(path)) != 0; }
  bool is_directory(std::string_view path) const override {
    std::string p(path);
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    if (folders.count(p)) return true;
    const std::string prefix = p + "/";
    const auto it = files.lower_bound(prefix);
    return it != files.end() && it->first.compare(0, prefix.size(), prefix) == 0;
  }
  std::optional<std::string> read(std::string_view path, std::size_t max_bytes) const override {
    const auto it = files.find(std::string(path));
    if (it == files.end() || it->second.size() > max_bytes) return std::nullopt;
    return it->second;
  }
  bool replace(std::string_view path, std::string_view content) override {
    if (fail_writes) return false;
    ++writes;
    files[std::string(path)] = std::string(content);
    return true;
  }
  bool remove(std::string_view path) override { return files.erase(std::string(path)) != 0; }
  std::vector<FolderEntry> list(std::string_view folder) const override {
    std::string prefix(folder);
    if (prefix.empty() || prefix.back() != '/') prefix += '/';
    std::vector<FolderEntry> out;
    for (auto it = files.lower_bound(prefix); it != files.end(); ++it) {
      if (it->first.compare(0, prefix.size(), prefix) != 0) break;
      const std::string rest = it->first.substr(prefix.size());
      if (rest.find('/') == std::string::npos) out.push_back({rest, false, false});
    }
    return out;
  }

  std::map<std::string, std::string> files;
  std::set<std::string> folders;
  bool fail_writes = false;
  int writes = 0;
};

// Reads the fuzzer's bytes as text parts separated by a marker.
inline std::vector<std::string_view> split_parts(std::string_view text, std::string_view marker) {
  std::vector<std::string_view> parts;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = text.find(marker, from);
    if (at == std::string_view::npos) break;
    parts.push_back(text.substr(from, at - from));
    from = at + marker.size();
  }
  parts.push_back(text.substr(from));
  return parts;
}

// A whole number from fuzzed text: optional sign and digits, wrapping into
// 32 bits, so that every int32 value (and overflow) can be reached; other
// text gives 0.
inline std::int32_t fuzz_int32(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  std::uint32_t v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    v = v * 10u + static_cast<std::uint32_t>(text[i] - '0');
  if (negative) v = 0u - v;
  return static_cast<std::int32_t>(v);
}

// The lines of raw bytes, as split_lines sees them (CR LF, LF, CR end a
// line; a line end at the very end starts no further line).
inline std::vector<std::string> raw_lines(std::string_view bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = start;
    while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
    lines.emplace_back(bytes.substr(start, end - start));
    std::size_t next = end;
    if (next < bytes.size())
      next += (bytes[next] == '\r' && next + 1 < bytes.size() && bytes[next + 1] == '\n') ? 2 : 1;
    start = next;
  }
  return lines;
}

}  // namespace tav::fuzz
