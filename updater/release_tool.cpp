// tavori-release: the release maker of the build (and of the tests).
//
//   tavori-release keygen SECRET PUBLIC
//       makes a key pair, unless both files exist already (they are kept)
//   tavori-release header PUBLIC OUT.h
//       the public key as a C++ header for update.exe
//   tavori-release pack --key SECRET --version V --from FOLDER --out DIR FILE...
//       packs the files (paths relative to FOLDER) into DIR/tavori-V.tvr and
//       writes the signed manifest DIR/release.txt; refused when the program
//       (FOLDER/tavori) says it is another version
#include <sys/stat.h>
#include <utime.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "release/archive.h"
#include "release/crypto.h"
#include "release/manifest.h"

namespace fs = std::filesystem;
using namespace tav::update;

namespace {

int usage() {
  std::cerr << "usage: tavori-release keygen SECRET PUBLIC\n"
               "       tavori-release header PUBLIC OUT.h\n"
               "       tavori-release pack --key SECRET --version V --from FOLDER --out DIR FILE...\n";
  return 2;
}

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}

// Written under another name and renamed, so a reader never sees half.
bool write_whole(const std::string& path, const std::string& text, mode_t mode = 0644) {
  const std::string temp = path + ".new";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) return false;
  }
  ::chmod(temp.c_str(), mode);
  return std::rename(temp.c_str(), path.c_str()) == 0;
}

// Writes the file only when its content changes (so that make does not
// rebuild what depends on it), and touches it otherwise.
bool write_if_changed(const std::string& path, const std::string& text, mode_t mode = 0644) {
  if (fs::exists(path) && read_all(path) == text) return ::utime(path.c_str(), nullptr) == 0;
  return write_whole(path, text, mode);
}

// The version a program says it is: the stamp its build put into it
// ("\nTAVORI-PROGRAM-VERSION <v>\n", src/startup/version.cpp), every
// different one it holds; none for a program without one.
std::vector<std::string> program_versions(const std::string& bytes) {
  const std::string mark = "\nTAVORI-PROGRAM-VERSION ";
  std::vector<std::string> found;
  for (std::size_t at = bytes.find(mark); at != std::string::npos; at = bytes.find(mark, at + 1)) {
    const std::size_t from = at + mark.size();
    const std::size_t end = bytes.find('\n', from);
    if (end == std::string::npos || end - from > 32) continue;
    const std::string v = bytes.substr(from, end - from);
    if (is_version(v) && std::find(found.begin(), found.end(), v) == found.end()) found.push_back(v);
  }
  return found;
}

int keygen(const std::string& secret, const std::string& pub) {
  if (fs::exists(secret) && fs::exists(pub)) {
    ::utime(secret.c_str(), nullptr);
    ::utime(pub.c_str(), nullptr);
    return 0;
  }
  std::error_code ec;
  fs::create_directories(fs::path(secret).parent_path(), ec);
  fs::create_directories(fs::path(pub).parent_path(), ec);
  std::string s, p;
  make_key_pair(s, p);
  if (!write_whole(secret, s + "\n", 0600) || !write_whole(pub, p + "\n")) {
    std::cerr << "tavori-release: cannot write the key pair\n";
    return 1;
  }
  std::cerr << "tavori-release: made a test key pair (" << secret << ")\n";
  return 0;
}

int header(const std::string& pub, const std::string& out) {
  unsigned char key[32];
  if (!from_hex(trimmed(read_all(pub)), key, sizeof key)) {
    std::cerr << "tavori-release: " << pub << " is not a public key\n";
    return 1;
  }
  std::string text =
      "// Made by tavori-release from " + pub + ": the key update.exe checks releases with.\n"
      "#pragma once\nnamespace tav::update {\ninline constexpr unsigned char kReleasePublicKey[32] = {";
  for (std::size_t i = 0; i < sizeof key; ++i) {
    char b[8];
    std::snprintf(b, sizeof b, "%s0x%02x", i ? ", " : "", key[i]);
    text += b;
  }
  text += "};\n}  // namespace tav::update\n";
  std::error_code ec;
  fs::create_directories(fs::path(out).parent_path(), ec);
  return write_if_changed(out, text) ? 0 : 1;
}

int pack(int argc, char** argv) {
  std::string key, version, from, out;
  std::vector<FileEntry> files;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= argc) return false;
      v = argv[++i];
      return true;
    };
    if (a == "--key") {
      if (!value(key)) return usage();
    } else if (a == "--version") {
      if (!value(version)) return usage();
    } else if (a == "--from") {
      if (!value(from)) return usage();
    } else if (a == "--out") {
      if (!value(out)) return usage();
    } else {
      FileEntry f;
      f.path = a;
      files.push_back(f);
    }
  }
  if (key.empty() || version.empty() || from.empty() || out.empty() || files.empty()) return usage();
  if (!is_version(version)) {
    std::cerr << "tavori-release: \"" << version << "\" is not a version (numbers and dots)\n";
    return 1;
  }
  // The release's program must be the version the manifest names: the
  // version the updater installs is the one the program then reports. (A
  // program without a stamp, such as the tests' stand-in, is packed as it is.)
  for (const FileEntry& f : files) {
    if (f.path != "tavori") continue;
    const std::vector<std::string> says = program_versions(read_all(from + "/" + f.path));
    if (says.empty() || (says.size() == 1 && says[0] == version)) continue;
    std::string listed;
    for (const std::string& v : says) listed += (listed.empty() ? "" : ", ") + v;
    std::cerr << "tavori-release: " << from << "/tavori is version " << listed << ", not " << version
              << " (the version of its build: project(... VERSION) in CMakeLists.txt)\n";
    return 1;
  }
  const std::string secret = trimmed(read_all(key));
  std::error_code ec;
  fs::create_directories(out, ec);
  Manifest m;
  m.version = version;
  m.archive = "tavori-" + version + ".tvr";
  const std::string archive = out + "/" + m.archive;
  if (std::string e = write_archive(from, files, archive + ".new"); !e.empty()) {
    std::cerr << "tavori-release: " << e << "\n";
    return 1;
  }
  std::rename((archive + ".new").c_str(), archive.c_str());
  m.files = files;
  m.sha256 = sha256_file(archive, &m.size);
  m.signature = sign_text(manifest_body(m), secret);
  if (m.signature.empty()) {
    std::cerr << "tavori-release: " << key << " is not a secret key\n";
    return 1;
  }
  if (!write_whole(out + "/" + kServerManifest, manifest_text(m))) {
    std::cerr << "tavori-release: cannot write " << out << "/" << kServerManifest << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || !crypto_ready()) return usage();
  const std::string command = argv[1];
  if (command == "keygen" && argc == 4) return keygen(argv[2], argv[3]);
  if (command == "header" && argc == 4) return header(argv[2], argv[3]);
  if (command == "pack") return pack(argc, argv);
  return usage();
}
