// The program's entry: the player check, config.ini, the lists and their
// pages, then the main window.
#pragma once

#include <memory>
#include <string_view>

#include "platform/platform.h"
#include "startup/version.h"

namespace tav {

class BA1;

// The texts of the player check.
inline constexpr std::string_view kNoticeTitle = "提示：";
inline constexpr std::string_view kPlayerMissingQuestion =
    "程序检测到您的电脑未安装快播(Qvod)播放器，是否要下载Qvod播放器？";

// Runs the start-up sequence. Returns the main window, loaded and shown, or
// nothing when the program ends before it is shown (the player is missing,
// or another instance took over). version: the program's own, which
// config.ini is made to hold (another one for tests).
std::unique_ptr<BA1> start_program(Platform& platform, const AppConfig& config,
                                   std::string_view version = program_version());

// The steps, each on its own for tests.
bool check_player(Platform& platform, const AppConfig& config);
void prepare_settings(Platform& platform, const AppConfig& config,
                      std::string_view version = program_version());
void prepare_lists(Platform& platform, const AppConfig& config);

}  // namespace tav
