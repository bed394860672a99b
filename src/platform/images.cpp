#include "platform/images.h"

#include <cstdint>

#include "platform/files.h"
#include "platform/paths.h"

namespace tav {

Point FileImages::png_size(const std::string& b) {
  static constexpr unsigned char kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (b.size() < 24) return {};
  for (int i = 0; i < 8; ++i)
    if (static_cast<unsigned char>(b[i]) != kSignature[i]) return {};
  auto be32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 4; ++k) v = (v << 8) | static_cast<unsigned char>(b[at + k]);
    return v;
  };
  const std::uint32_t w = be32(16), h = be32(20);
  if (w == 0 || h == 0 || w > 65535 || h > 65535) return {};
  return {static_cast<int>(w), static_cast<int>(h)};
}

Picture FileImages::load_resource(int number) const {
  if (number < 101 || number > 111) return {};
  const std::string id = "ppt" + std::to_string(number - 101);
  const auto bytes = files_.read(join_path(folder_, id + ".png"), 1u << 20);
  if (!bytes) return {};
  const Point size = png_size(*bytes);
  if (size.x == 0) return {};
  return {id, size.x, size.y};
}

}  // namespace tav
