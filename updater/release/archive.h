// The release archive: the program's files one after another, uncompressed.
//
//   TAVORI-ARCHIVE 1\n
//   f <mode, octal> <size> <path>\n<size bytes>      one a file
//   end\n
//
// Only plain files ("f"): an entry of any other kind (a link, a device),
// a path that is absolute, holds "..", or names a user's file is refused,
// and so is anything the signed manifest does not list with that size and
// SHA-256.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "release/manifest.h"

namespace tav::update {

// Why an unpack failed, for the user's message.
enum class Failure {
  none,
  bad_archive,   // the archive is damaged, truncated or not what the manifest says
  disk_full,     // ENOSPC, EDQUOT, EFBIG
  not_writable,  // EACCES, EPERM, EROFS
  io,            // any other error
  cancelled,
};

Failure failure_of_errno(int error);

// Writes the archive of the files (paths relative to folder) to out, and
// fills each entry's size, mode and SHA-256 from the file. "" or why not.
std::string write_archive(const std::string& folder, std::vector<FileEntry>& files, const std::string& out);

// Reads the archive at path into the folder staged (made as needed), each
// file checked against the manifest; every file of the manifest must come
// once. progress(bytes) is called now and then and may return false to
// cancel. On failure, `why` says what went wrong (for stderr).
Failure unpack_archive(const std::string& path, const Manifest& manifest, const std::string& staged,
                       std::string& why, const std::function<bool(std::uint64_t)>& progress = {});

}  // namespace tav::update
