#include "base/player_control.h"

#include "base/text.h"

namespace tav {

std::int32_t Variant::to_int() const {
  switch (type_) {
    case Type::Int: return int_;
    case Type::Text: return tav::to_int32(text_);
    case Type::Empty: break;
  }
  return 0;
}

std::string Variant::to_text() const {
  switch (type_) {
    case Type::Int: return tav::to_text(int_);
    case Type::Text: return text_;
    case Type::Empty: break;
  }
  return {};
}

}  // namespace tav
