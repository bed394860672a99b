// The one byte range the service's stream answers: what a Range header
// asks of a film of a given size. Qt-free and without the HTTP library.
#pragma once

#include <cstdint>
#include <string_view>

namespace tav::suite {

struct ByteRange {
  bool ok = true;  // false: past the end (416)
  bool part = false;
  std::int64_t first = 0, length = 0;
};

// One range of the forms bytes=a-b, bytes=a- and bytes=-n, the end cut to
// the size; anything else (several ranges, other units, other text) is the
// whole film. size > 0.
ByteRange byte_range(std::string_view header, std::int64_t size);

}  // namespace tav::suite
