// The embedded player control, addressed by dispatch ids.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tav {

// An automation value: nothing, a 32-bit integer or a text.
class Variant {
 public:
  enum class Type { Empty, Int, Text };
  Variant() = default;
  Variant(std::int32_t value) : type_(Type::Int), int_(value) {}  // NOLINT: implicit by design
  Variant(std::string value) : type_(Type::Text), text_(std::move(value)) {}  // NOLINT
  Variant(const char* value) : type_(Type::Text), text_(value) {}             // NOLINT

  Type type() const { return type_; }
  bool empty() const { return type_ == Type::Empty; }
  // Conversions as automation does them: a text that is not a number gives 0.
  std::int32_t to_int() const;
  std::string to_text() const;
  bool operator==(const Variant& other) const = default;

 private:
  Type type_ = Type::Empty;
  std::int32_t int_ = 0;
  std::string text_;
};

// A call on the control failed (no control, or the control refused it).
class AutomationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class PlayerControl {
 public:
  virtual ~PlayerControl() = default;
  virtual Variant get(int dispid) = 0;
  virtual void put(int dispid, const Variant& value) = 0;
  virtual void invoke(int dispid, const std::vector<Variant>& args) = 0;
};

}  // namespace tav
