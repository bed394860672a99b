// QvodPlayer.exe: the suite's standalone player, a small window around the
// player library beside it (QvodInsert.dll).
//   QvodPlayer.exe [--headless] [--exit-at-end] [--mute] ADDRESS
// ADDRESS is a file (a relative path is taken from the current folder), an
// http(s) address or a qvod:// address (downloaded by the suite's service). --headless plays with no window, picture or
// sound; --exit-at-end ends the program when the film ends (exit 0) or
// does not play (exit 4). Other exit codes: 2 bad command line, 3 the
// library does not load.
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>
#include <memory>
#include <string>

#include "base/player_control.h"
#include "suite/player/embedded_player.h"

namespace {

enum Id { kAddress = 1, kVolume = 6, kDuration = 7, kSpeed = 8, kPosition = 10, kPlay = 12,
          kState = 16, kProgress = 26, kMute = 3 };

std::string own_folder() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  path[n] = '\0';
  std::string folder(path);
  return folder.substr(0, folder.rfind('/'));
}

QString clock_text(int seconds) {
  return QString::asprintf("%d:%02d", seconds / 60, seconds % 60);
}

int usage() {
  std::fprintf(stderr, "usage: QvodPlayer.exe [--headless] [--exit-at-end] [--mute] ADDRESS\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool headless = false, exit_at_end = false, mute = false;
  std::string address;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--headless") headless = true;
    else if (arg == "--exit-at-end") exit_at_end = true;
    else if (arg == "--mute") mute = true;
    else if (arg.rfind("--", 0) == 0 || !address.empty()) return usage();
    else address = arg;
  }
  if (address.empty()) return usage();
  // A file named on the command line may be relative to where the player
  // was started; the library only takes absolute paths.
  if (address.find("://") == std::string::npos && address[0] != '/') {
    char here[PATH_MAX];
    if (::getcwd(here, sizeof here)) address = std::string(here) + "/" + address;
  }

  QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  const std::string library = own_folder() + "/QvodInsert.dll";
  void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  auto create = handle ? reinterpret_cast<tav::suite::CreatePlayerFn>(
                             ::dlsym(handle, tav::suite::kCreatePlayerSymbol))
                       : nullptr;
  if (!create) {
    std::fprintf(stderr, "QvodPlayer: cannot load %s: %s\n", library.c_str(),
                 handle ? "no factory" : ::dlerror());
    return 3;
  }

  std::unique_ptr<QWidget> window;
  QLabel* status = nullptr;
  tav::suite::PlayerOptions options;
  options.headless = headless;
  std::unique_ptr<tav::suite::EmbeddedPlayer> player;
  if (headless) {
    player.reset(create(nullptr, &options));
  } else {
    window = std::make_unique<QWidget>();
    window->setWindowTitle(QString::fromUtf8("QvodPlayer - ") + QString::fromStdString(address));
    window->resize(640, 400);
    auto* layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    player.reset(create(window.get(), &options));
    if (player && player->widget()) layout->addWidget(player->widget(), 1);
    status = new QLabel(window.get());
    layout->addWidget(status);
  }
  if (!player) return 3;
  tav::PlayerControl& control = player->control();
  control.put(kAddress, tav::Variant(address));
  if (mute) control.put(kMute, -1);
  control.invoke(kPlay, {});
  if (window) window->show();

  int result = 0;
  bool started = false;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    const int state = control.get(kState).to_int();
    const int position = control.get(kPosition).to_int();
    const int duration = control.get(kDuration).to_int();
    const int progress = control.get(kProgress).to_int();
    const int speed = control.get(kSpeed).to_int();
    if (status) {
      status->setText(QString::fromUtf8("%1 / %2    已下载 %3.%4%    %5 KB/s")
                          .arg(clock_text(position), clock_text(duration))
                          .arg(progress / 10)
                          .arg(progress % 10)
                          .arg(speed));
    }
    if (state == 3 || state == 2) started = true;
    if (!exit_at_end) return;
    if (started && state == 0) {
      result = 0;
      app.quit();
    } else if (state == 1) {
      result = 4;
      app.quit();
    }
  });
  timer.start(200);
  if (window) QObject::connect(&app, &QApplication::lastWindowClosed, &app, &QApplication::quit);
  app.exec();
  if (exit_at_end) std::printf("state %d progress %d\n", control.get(kState).to_int(),
                               control.get(kProgress).to_int());
  player.reset();
  window.reset();
  return result;
}
