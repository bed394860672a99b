// What the player plays for an address, and from where: a local file, a
// film saved in the save folder, the address itself as a stream, the
// suite's service (qvod:// films not saved yet) or a film's seed; and what
// a pre-buffer fetches ahead. Decided from the address, the suite's
// settings and the save folder's files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "suite/player/qvod_settings.h"

namespace tav::suite {

struct SourceChoice {
  // What mpv is given; "" when nothing can play (and, for the service,
  // until it names its stream).
  std::string source;
  bool network = false;  // the source comes over the network
  // http(s) streamed: the cache file its download writes, which the film
  // moves to once it is complete.
  std::string cache_file;
  // qvod:// not saved yet: the service fetches the film into this file and
  // streams it meanwhile.
  std::string service_target;
};

SourceChoice choose_source(std::string_view address, const QvodSettings& settings);

// What a pre-buffer of an address fetches ahead, into which file.
struct Prefetch {
  enum class By { Nothing, Service, Download };
  By by = By::Nothing;
  // The film's file in the save folder; also for a saved film, which is
  // not fetched again. "" for addresses that have none.
  std::string target;
};

Prefetch choose_prefetch(std::string_view address, const QvodSettings& settings);

// Whether path names a regular file (a link to one counts).
bool file_exists(const std::string& path);
// The size of the regular file of that name (not what a link there leads
// to); -1 for anything else.
std::int64_t saved_file_size(const std::string& path);

}  // namespace tav::suite
