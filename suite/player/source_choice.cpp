#include "suite/player/source_choice.h"

#include <sys/stat.h>

#include "suite/player/address.h"

namespace tav::suite {

bool file_exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::int64_t saved_file_size(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : -1;
}

SourceChoice choose_source(std::string_view address, const QvodSettings& settings) {
  SourceChoice choice;
  switch (address_kind(address)) {
    case AddressKind::Local:
      // A regular file by its absolute path, nothing else ("" does not play).
      choice.source = local_file(address);
      break;
    case AddressKind::Http: {
      std::string cache = http_cache_file(settings.save_folder, address);
      if (file_exists(cache)) {
        choice.source = std::move(cache);
        break;
      }
      choice.source = std::string(address);
      choice.network = true;
      choice.cache_file = std::move(cache);
      break;
    }
    case AddressKind::Qvod: {
      const auto q = parse_qvod(address);
      if (!q) break;
      std::string target = settings.save_folder + q->file_name;
      const std::int64_t have = saved_file_size(target);
      if (have == q->size) {  // saved: nothing to fetch
        choice.source = std::move(target);
        break;
      }
      choice.network = true;
      if (have > q->size) {
        // Some other file of that name, which is left alone: the film only
        // streams from its seed (an http(s) one: the settings file is no
        // way to other protocols).
        const std::string seed = settings.seed_source + q->hash;
        if (address_kind(seed) == AddressKind::Http) choice.source = seed;
        break;
      }
      choice.service_target = std::move(target);
      break;
    }
    case AddressKind::Unsupported:
      break;
  }
  return choice;
}

Prefetch choose_prefetch(std::string_view address, const QvodSettings& settings) {
  Prefetch p;
  switch (address_kind(address)) {
    case AddressKind::Qvod: {
      const auto q = parse_qvod(address);
      if (!q) break;
      p.target = settings.save_folder + q->file_name;
      // Saved already, or a larger file of that name that is not ours:
      // nothing to fetch.
      if (saved_file_size(p.target) < q->size) p.by = Prefetch::By::Service;
      break;
    }
    case AddressKind::Http:
      p.target = http_cache_file(settings.save_folder, address);
      p.by = Prefetch::By::Download;
      break;
    case AddressKind::Local:
    case AddressKind::Unsupported:
      break;  // nothing to fetch, or nothing this player can fetch
  }
  return p;
}

}  // namespace tav::suite
