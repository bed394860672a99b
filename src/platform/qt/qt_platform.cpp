#include "platform/qt/qt_platform.h"

namespace tav::qt {

QtPlatform::QtPlatform(const std::string& app_folder)
    : curl_(code_page_), http_(curl_, model_gate()), shell_(app_folder), instance_(app_folder), windows_(registry_) {
  platform_.reset(new Platform{code_page_, files_,    http_,     dialogs_, shell_,   processes_,
                               registry_,  adapters_, instance_, tray_,    screen_,  clock_,
                               random_,    loop_,     windows_,  metrics_, images_,
                               media_,     screen_saver_});
  // A page's new window opens in the desktop's browser.
  dialogs_.on_trace = [this](const std::string& line) { windows_.trace(line); };
  windows_.set_open_elsewhere([this](const std::string& url) { shell_.open(url, "Open"); });
}

QtPlatform::~QtPlatform() = default;

}  // namespace tav::qt
