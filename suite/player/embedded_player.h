// The entry points of the player library (Qvod/QvodInsert.dll), as the
// program loads it with dlopen. Qt-free: QWidget is only named.
#pragma once

class QWidget;

namespace tav {
class PlayerControl;
}

namespace tav::suite {

struct PlayerOptions {
  // No picture, no sound and no widget (mpv's vo=null, ao=null): for tests
  // and for machines without a display.
  bool headless = false;
};

// One player: the control the program drives by dispatch ids, and the
// widget that shows the film. Made by the factory on the user-interface
// thread and deleted there (before the QApplication and before dlclose).
class EmbeddedPlayer {
 public:
  virtual ~EmbeddedPlayer() = default;
  virtual tav::PlayerControl& control() = 0;
  // The video area, a child of the factory's parent; nullptr when headless
  // or once the parent has deleted it.
  virtual QWidget* widget() = 0;
};

// extern "C" EmbeddedPlayer* QvodCreatePlayer(QWidget* parent, const PlayerOptions* options)
// options may be nullptr (the defaults). Returns nullptr only when there is
// no QApplication (or, headless, no QCoreApplication) on the calling thread.
using CreatePlayerFn = EmbeddedPlayer* (*)(QWidget* parent, const PlayerOptions* options);
// extern "C" int DllRegisterServer() / DllUnregisterServer(): 0 on success.
using RegisterServerFn = int (*)();

inline constexpr char kCreatePlayerSymbol[] = "QvodCreatePlayer";
inline constexpr char kRegisterServerSymbol[] = "DllRegisterServer";
inline constexpr char kUnregisterServerSymbol[] = "DllUnregisterServer";

// The class the library registers, and where it lives in the program's folder.
inline constexpr char kPlayerClassId[] = "clsid:F3D0D36F-23F8-4682-A195-74C92B03D4AF";
inline constexpr char kPlayerLibraryPath[] = "Qvod/QvodInsert.dll";
// The suite's settings, beside the library.
inline constexpr char kSettingsFileName[] = "QvodPlayer.xml";

}  // namespace tav::suite
