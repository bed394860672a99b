// The skin images the program loads by resource number.
#pragma once

#include <string>

#include "base/geometry.h"

namespace tav {

class Files;

class Images {
 public:
  virtual ~Images() = default;
  // The bitmap of a resource number (101 to 111 hold the skin images
  // ppt0 to ppt10); an empty picture when there is none.
  virtual Picture load_resource(int number) const = 0;
};

// Skin images as PNG files in a folder: resource 101 + i is "ppt<i>.png".
class FileImages final : public Images {
 public:
  FileImages(const Files& files, std::string folder) : files_(files), folder_(std::move(folder)) {}
  Picture load_resource(int number) const override;
  // Width and height of a PNG file's image, or 0 x 0.
  static Point png_size(const std::string& bytes);

 private:
  const Files& files_;
  std::string folder_;
};

}  // namespace tav
