// Per-user registry of component classes: which library makes objects of a
// class. One file, $XDG_CONFIG_HOME/tavori-suite/registry.ini (or
// ~/.config/tavori-suite/registry.ini), with one line per class:
//   clsid:F3D0D36F-23F8-4682-A195-74C92B03D4AF=/opt/tavori/Qvod/QvodInsert.dll
// Class ids compare without regard to case. Other lines are kept as they are.
#pragma once

#include <string>
#include <string_view>

#include "base/component_registry.h"

namespace tav::suite {

class FileComponentRegistry final : public tav::ComponentRegistry {
 public:
  // The per-user file, as the environment names it now.
  FileComponentRegistry();
  explicit FileComponentRegistry(std::string file);

  static std::string default_file();
  const std::string& file() const { return file_; }

  // True when the class is recorded, its library exists, loads and exports
  // the player factory. A library that passes stays loaded: the program
  // creates its player next.
  bool can_create(std::string_view class_id) const override;
  // Why can_create is false, in a line for a log; "" when it is true.
  std::string problem(std::string_view class_id) const;

  // The library recorded for the class, "" when none.
  std::string library_of(std::string_view class_id) const;
  // Records the class (replacing an older record). False when the id is not
  // "clsid:..." or the path is not absolute, or the file cannot be written.
  bool register_class(std::string_view class_id, std::string_view library_path);
  // Removes the record; true when no record is left (also when there was none).
  bool unregister_class(std::string_view class_id);

 private:
  bool rewrite(std::string_view class_id, const std::string* library_path);
  std::string file_;
};

}  // namespace tav::suite
