// A temporary application folder with the headless backend around it.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "disk_services.h"
#include "forms/ba1.h"
#include "platform/headless/headless.h"
#include "startup/settings.h"
#include "startup/startup.h"
#include "temp_dir.h"

// A test whose paths are POSIX paths ("/films/a.mp4", folders ending in
// "/"): on Windows the program takes only "\\" and drive letters for paths,
// so such a test does not apply there.
#ifdef _WIN32
#define TAVORI_POSIX_PATHS_ONLY() GTEST_SKIP() << "the test's paths are POSIX paths"
#else
#define TAVORI_POSIX_PATHS_ONLY() static_cast<void>(0)
#endif

namespace tav::test {

class HeadlessTest : public ::testing::Test {
 protected:
  TempDir dir;
  DiskFiles disk;
  GbkCodePage gbk;
  HeadlessPlatform hp{disk, gbk};
  AppConfig config{dir.str(), "http://127.0.0.1:8080/box/", "", "http://127.0.0.1:8080/player/"};

  Platform& pf() { return hp.platform(); }
  std::unique_ptr<BA1> start() { return start_program(pf(), config); }
  std::string setting(const std::string& section, const std::string& key) {
    return read_setting(SettingsFile{disk, gbk}, dir.file("config.ini"), section, key, "0");
  }
  void put_setting(const std::string& section, const std::string& key, const std::string& value) {
    write_setting(SettingsFile{disk, gbk}, dir.file("config.ini"), section, key, value);
  }
  bool logged(std::string_view part) const { return hp.log.contains(part); }
  std::size_t logged_count(std::string_view part) const { return hp.log.count(part); }
};

}  // namespace tav::test
