// Every service of the desktop backend together.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/posix/curl_http.h"
#include "platform/posix/iconv_code_page.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_network_adapters.h"
#include "platform/posix/posix_system.h"
#include "platform/qt/qt_http.h"
#include "platform/qt/qt_media.h"
#include "platform/qt/qt_services.h"
#include "platform/qt/qt_single_instance.h"
#include "platform/qt/qt_windows.h"
#include "suite/registry/file_component_registry.h"

namespace tav::qt {

// Made after the application object, on the user-interface thread.
class QtPlatform {
 public:
  explicit QtPlatform(const std::string& app_folder);
  ~QtPlatform();
  Platform& platform() { return *platform_; }
  QtWindows& windows() { return windows_; }

 private:
  IconvCodePage code_page_;
  PosixFiles files_;
  CurlHttp curl_;
  QtHttp http_;
  QtDialogs dialogs_;
  PosixShell shell_;
  ProcProcesses processes_;
  suite::FileComponentRegistry registry_;
  PosixNetworkAdapters adapters_;
  QtSingleInstance instance_;
  QtTray tray_;
  QtScreen screen_;
  PosixClock clock_;
  PosixRandom random_;
  QtEventLoop loop_;
  QtWindows windows_;
  QtTextMetrics metrics_;
  QtImages images_;
  QtMediaControls media_;
  QtScreenSaver screen_saver_;
  std::unique_ptr<Platform> platform_;
};

}  // namespace tav::qt
