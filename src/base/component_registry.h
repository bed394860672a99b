// Registered components: can an object of a class be created here.
#pragma once

#include <string_view>

namespace tav {

class ComponentRegistry {
 public:
  virtual ~ComponentRegistry() = default;
  // class_id is the text "clsid:..." naming the class.
  virtual bool can_create(std::string_view class_id) const = 0;
};

}  // namespace tav
