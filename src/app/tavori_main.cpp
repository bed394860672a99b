// tavori: the desktop client.
#include <dlfcn.h>
#include <malloc.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>
#include <QUrl>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/app_folder.h"
#include "app/content_server.h"
#include "forms/ba1.h"
#include "platform/qt/qt_browser.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/qt_session_end.h"
#include "platform/qt/qt_stall_probe.h"
#include "release/swap.h"
#include "startup/startup.h"
#include "suite/player/embedded_player.h"
#include "suite/registry/file_component_registry.h"

namespace {

// Options for developers and tests, before the command line proper:
//   --server-base=URL  the content server (instead of the built-in one)
//   --trace=FILE       write the window's changes, loads and player calls
//   --floating-ad-delay=MS
//                      how long the floating advertisement waits once the
//                      version file turned it on (instead of 50 s)
struct Options {
  std::optional<std::string> server_base;  // over the settings files
  std::string trace;
  int floating_ad_delay_ms = 0;
  int first_argument = 1;
};

// A count of milliseconds from 1 to ten minutes; 0 for anything else.
int milliseconds(const std::string& text) {
  if (text.empty() || text.size() > 6) return 0;
  int v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return 0;
    v = v * 10 + (c - '0');
  }
  return v <= 600000 ? v : 0;
}

Options options(int argc, char** argv) {
  Options o;
  for (; o.first_argument < argc; ++o.first_argument) {
    const std::string a = argv[o.first_argument];
    if (a.rfind("--server-base=", 0) == 0) o.server_base = a.substr(14);
    else if (a.rfind("--trace=", 0) == 0) o.trace = a.substr(8);
    else if (a.rfind("--floating-ad-delay=", 0) == 0) o.floating_ad_delay_ms = milliseconds(a.substr(20));
    else break;
  }
  return o;
}

// A file the desktop hands over as a file:// address (the desktop entry's
// %U) is taken as its path, and a file named relative to the folder the
// program was started in gets its whole path (the running instance and the
// player know no such folder); every other argument stays as it is.
std::string argument(const char* text) {
  std::string a = text;
  if (a.rfind("file://", 0) == 0) {
    const QUrl url = QUrl::fromEncoded(QByteArray(text), QUrl::StrictMode);
    if (url.isValid() && url.isLocalFile() && url.host().isEmpty()) a = url.toLocalFile().toStdString();
  } else if (!a.empty() && a[0] != '/' && a.find("://") == std::string::npos) {
    const QFileInfo file(QString::fromLocal8Bit(text));
    if (file.isFile()) a = file.absoluteFilePath().toLocal8Bit().toStdString();
  }
  return a;
}

// The command line without the program's own path, as a second start hands
// it over: arguments with spaces or double quotes in double quotes.
std::string command_line(int argc, char** argv, int first) {
  std::string out;
  for (int i = first; i < argc; ++i) {
    const std::string a = argument(argv[i]);
    if (!out.empty()) out += ' ';
    out += a.find_first_of(" \"") != std::string::npos ? "\"" + a + "\"" : a;
  }
  return out;
}

// An address on the built-in server's host, moved to the host of the server
// the program was pointed at; any other address as it is.
std::string on_server(const std::string& address, const std::string& server_base) {
  const QUrl built_in(QStringLiteral(TAVORI_SERVER_BASE));
  const QUrl server(QString::fromStdString(server_base));
  QUrl url(QString::fromStdString(address));
  if (!server.isValid() || server.host().isEmpty() || url.scheme() != built_in.scheme() ||
      url.host() != built_in.host() || url.port() != built_in.port())
    return address;
  url.setScheme(server.scheme());
  url.setHost(server.host());
  url.setPort(server.port());
  return url.toString(QUrl::FullyEncoded).toStdString();
}

// Texts of the toolkit's file dialog that its Chinese catalogue lacks.
class ToolkitTextsBesides final : public QTranslator {
 public:
  QString translate(const char* context, const char* source, const char* disambiguation,
                    int n) const override {
    static_cast<void>(disambiguation);
    static_cast<void>(n);
    if (!context || !source || std::string_view(context) != "QAbstractFileIconProvider")
      return {};
    const std::string_view s = source;
    if (s == "Folder") return QStringLiteral("文件夹");
    if (s == "Drive") return QStringLiteral("驱动器");
    if (s == "File") return QStringLiteral("文件");
    if (s == "Alias" || s == "Shortcut") return QStringLiteral("快捷方式");
    return {};
  }
  bool isEmpty() const override { return false; }
};

}  // namespace

int main(int argc, char** argv) {
  // Every film's decoders run on threads of their own, and the allocator
  // gave each thread an arena that kept what the film had freed: an evening
  // of films grew the program by megabytes a film. Two arenas serve the
  // program's threads as well and give freed memory back.
  mallopt(M_ARENA_MAX, 2);
  // An update interrupted in the program's folder is finished or undone first.
  tav::update::recover_at_start(argv);
  const Options opts = options(argc, argv);
  // The content server: the option, else the user's or the distributor's
  // setting, else the built-in one. The updater this program may start and
  // the player suite ask the same server.
  const tav::app::ServerChoice server =
      tav::app::choose_server(tav::app::default_server_sources(opts.server_base, TAVORI_SERVER_BASE));
  if (!server.warning.empty()) std::fprintf(stderr, "tavori: %s\n", server.warning.c_str());
  std::string server_base = server.base;
  setenv("TAVORI_SERVER_BASE", server_base.c_str(), 1);
  const std::string command = command_line(argc, argv, opts.first_argument);
  // The link-protocol schemes must be known before the application exists.
  tav::qt::register_link_schemes();
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  // The program's arguments are its own; the toolkit gets only its options.
  std::vector<char*> qt_argv{argv[0]};
  static char engine_args[] = "--webEngineArgs";
  static char per_site[] = "--process-per-site";
  // The panels' pages share two page processes: each further one would
  // cost some 80 MiB for pages that are small and all of one server.
  static char process_limit[] = "--renderer-process-limit=2";
  qt_argv.push_back(engine_args);
  qt_argv.push_back(per_site);
  qt_argv.push_back(process_limit);
  int qt_argc = static_cast<int>(qt_argv.size());
  qt_argv.push_back(nullptr);
  QApplication app(qt_argc, qt_argv.data());
  // The player library loads on a thread of its own while the program gets
  // ready, and the check for the player then finds it loaded. It starts
  // after the toolkit, whose own plugins would otherwise wait for it (one
  // library loads at a time). The program keeps it to the end. libmpv and
  // the decoders behind it are not part of it: the player loads them in the
  // background once the window is up.
  std::jthread player_library([] {
    const std::string library =
        tav::suite::FileComponentRegistry().library_of(tav::suite::kPlayerClassId);
    if (!library.empty()) ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  });
  tav::qt::start_stall_probe();  // TAVORI_STALL_LOG, for measuring
  std::setlocale(LC_NUMERIC, "C");
  app.setApplicationName(QStringLiteral("Tavori"));
  app.setQuitOnLastWindowClosed(false);
  // The interface is Chinese: the toolkit's own dialogs (the file dialog,
  // message boxes, context menus of the panels) speak it too. The desktop's
  // own file dialog is taken where the platform theme offers one.
  QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
  QTranslator toolkit_texts;
  if (toolkit_texts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qt"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    app.installTranslator(&toolkit_texts);
  ToolkitTextsBesides toolkit_texts_besides;
  app.installTranslator(&toolkit_texts_besides);

  // The program's own folder, or the user's application folder when the
  // program is installed.
  const std::string program_folder =
      QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString();
  const tav::app::FolderChoice choice = tav::app::choose_app_folder(program_folder);
  if (choice.folder.empty()) {
    std::fprintf(stderr, "tavori: %s\n", choice.error.c_str());
    QMessageBox::critical(nullptr, QStringLiteral("Tavori"),
                          QStringLiteral("无法准备用户文件夹：") + QString::fromStdString(choice.error));
    return 1;
  }
  const std::string& folder = choice.folder;
  // An installed copy pointed at the built-in address runs the installed
  // demo server for its user when nothing of the user's answers there.
  tav::app::DemoServer demo_server;
  if (server.built_in && folder != program_folder) {
    server_base = demo_server.start_if_needed(program_folder + "/tavori-server", server_base, folder);
    setenv("TAVORI_SERVER_BASE", server_base.c_str(), 1);
  }
  // Link-protocol commands come from the server's pages and the list pages
  // in this folder only.
  tav::qt::set_command_sources(QUrl(QString::fromStdString(server_base)),
                               QString::fromStdString(folder));
  player_library.join();
  tav::qt::QtPlatform platform(folder);
  if (!opts.trace.empty()) platform.windows().set_trace(opts.trace);
  tav::AppConfig config;
  config.app_folder = folder;
  config.server_base = server_base;
  config.command_line = command;
  // The player's page is the demo server's: it follows the server.
  config.vendor_home = on_server(TAVORI_VENDOR_HOME, server_base);
  config.floating_ad_delay_ms = opts.floating_ad_delay_ms;
  std::unique_ptr<tav::BA1> window = tav::start_program(platform.platform(), config);
  if (!window) return 0;
  // A signal or the session's end: the exit steps, so that the film's place
  // is recorded. A blocking request in progress gives way first.
  tav::Http& http = platform.platform().http;
  tav::qt::on_session_end([&http] { if (http.still_executing()) http.cancel(); },
                          [&window] { if (!window->ended()) window->endSession(); });
  const int rc = app.exec();
  tav::qt::finish_popups(5000);
  window.reset();
  return rc;
}
