// The library's C entry points: self-registration and the player factory.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <QApplication>
#include <QThread>
#include <string>

#include "suite/player/embedded_player.h"
#include "suite/player/mpv_player.h"
#include "suite/registry/file_component_registry.h"

#define TAVORI_EXPORT extern "C" __attribute__((visibility("default")))

TAVORI_EXPORT int DllRegisterServer();
TAVORI_EXPORT int DllUnregisterServer();
TAVORI_EXPORT tav::suite::EmbeddedPlayer* QvodCreatePlayer(QWidget* parent,
                                                          const tav::suite::PlayerOptions* options);

namespace {

// The absolute path of this library, "" when it cannot be told.
std::string own_path() {
  Dl_info info{};
  if (!::dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) || !info.dli_fname) return {};
  char resolved[PATH_MAX];
  if (!::realpath(info.dli_fname, resolved)) return {};
  return resolved;
}

std::string own_folder() {
  const std::string path = own_path();
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

TAVORI_EXPORT int DllRegisterServer() {
  try {
    const std::string path = own_path();
    if (path.empty()) return 2;
    return tav::suite::FileComponentRegistry().register_class(tav::suite::kPlayerClassId, path) ? 0 : 1;
  } catch (...) {
    return 3;
  }
}

TAVORI_EXPORT int DllUnregisterServer() {
  try {
    return tav::suite::FileComponentRegistry().unregister_class(tav::suite::kPlayerClassId) ? 0 : 1;
  } catch (...) {
    return 3;
  }
}

TAVORI_EXPORT tav::suite::EmbeddedPlayer* QvodCreatePlayer(QWidget* parent,
                                                          const tav::suite::PlayerOptions* options) {
  try {
    const tav::suite::PlayerOptions chosen = options ? *options : tav::suite::PlayerOptions{};
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) return nullptr;
    if (!chosen.headless && !qobject_cast<QApplication*>(app)) return nullptr;
    return new tav::suite::MpvPlayer(parent, chosen, own_folder());
  } catch (...) {
    return nullptr;
  }
}
