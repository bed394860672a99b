// A temporary application folder with the headless backend around it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "disk_services.h"
#include "forms/ba1.h"
#include "platform/headless/effect_log.h"
#include "platform/headless/headless.h"
#include "platform/paths.h"
#include "startup/settings.h"
#include "startup/startup.h"
#include "temp_dir.h"

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
  // A path in the test's folder as the program writes paths: the
  // platform's separator between the names ("films/a.mp4"), and an ending
  // one for a name that ends in "/". Built as text, so that names in Chinese
  // stay UTF-8 on every platform.
  std::string native(std::string name) const {
    for (char& c : name)
      if (c == '/') c = kPathSeparator;
    return join_path(dir.str(), name);
  }
  // An effect's quoted text, with its backslashes escaped.
  static std::string q(std::string_view text) { return quoted(text); }
  bool logged(std::string_view part) const { return hp.log.contains(part); }
  std::size_t logged_count(std::string_view part) const { return hp.log.count(part); }
};

}  // namespace tav::test
