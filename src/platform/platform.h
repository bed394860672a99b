// Every outside service the program's logic uses, in one bundle.
#pragma once

#include <string>

namespace tav {

class CodePage;
class ComponentRegistry;
class Dialogs;
class EventLoop;
class Files;
class Http;
class Images;
class MediaControls;
class NetworkAdapters;
class Processes;
class Random;
class Screen;
class ScreenSaver;
class Shell;
class SingleInstance;
class TextMetrics;
class TrayIcon;
class WindowSystem;
class Clock;

struct Platform {
  const CodePage& code_page;
  Files& files;
  Http& http;
  Dialogs& dialogs;
  Shell& shell;
  Processes& processes;
  ComponentRegistry& registry;
  NetworkAdapters& adapters;
  SingleInstance& instance;
  TrayIcon& tray;
  Screen& screen;
  Clock& clock;
  Random& random;
  EventLoop& loop;
  WindowSystem& windows;
  const TextMetrics& metrics;
  const Images& images;
  MediaControls& media;
  ScreenSaver& screen_saver;
};

// Where the program runs and what it was started with.
struct AppConfig {
  std::string app_folder;    // the folder of the executable
  std::string server_base;   // the content server's base URL, ending in "/box/"
  std::string command_line;  // the arguments, without the program's own path
  std::string vendor_home;   // the player vendor's home page
  // How long the floating advertisement waits once the version file turned
  // it on, in milliseconds; 0 keeps the window's own 50 s. For tests.
  int floating_ad_delay_ms = 0;
};

}  // namespace tav
