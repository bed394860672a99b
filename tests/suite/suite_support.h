// Shared pieces of the suite's tests: a private temporary root (HOME and
// XDG_CONFIG_HOME point into it), the test clip, a copy of the player
// library in an app folder of its own, a loopback seed server, and waits
// that keep Qt's event loop turning.
#pragma once

#include <httplib.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "suite/player/embedded_player.h"

namespace suite_test {

namespace fs = std::filesystem;

// The root of this process's files, made by main() and removed at exit.
const fs::path& root();
// A fresh folder under root().
fs::path fresh_folder(const std::string& tag);

std::string read_file(const fs::path& path);
void write_file(const fs::path& path, const std::string& bytes);

// A 7 s 160x120 clip with a 440 Hz tone, made once per process.
const std::string& clip();

// The player library copied to <root>/app/Qvod/, so that its QvodPlayer.xml
// is the tests' own, and its factory.
struct Library {
  fs::path folder;  // <root>/app/Qvod
  tav::suite::CreatePlayerFn create = nullptr;
};
const Library& library();
// Writes the library's QvodPlayer.xml.
void write_settings(const std::string& save_folder, const std::string& seed_source);

// Ends the suite's service whose endpoint file is in runtime_folder, if it
// is one of this test run's copies.
void end_terminal(const fs::path& runtime_folder);

// Keeps the event loop going until pred() holds or timeout_ms passes.
bool wait_until(const std::function<bool()>& pred, int timeout_ms);
void pump(int ms);

// A loopback HTTP server: /seed/<hash> and /media/<name> serve the bytes
// put in, with Range support (or, asked to, the whole file whatever the
// range); optionally slowly.
class SeedServer {
 public:
  SeedServer();
  ~SeedServer();
  void add(const std::string& path, std::string bytes, int bytes_per_second = 0,
           bool ignores_ranges = false);
  // Zero bytes without end: with that Content-Length, or chunked when it is -1.
  void add_endless(const std::string& path, std::int64_t length = -1);
  int port() const { return port_; }
  std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }
  int requests(const std::string& path) const;
  std::vector<std::string> ranges(const std::string& path) const;

 private:
  struct Item {
    std::string bytes;
    int rate = 0;
    bool ignores_ranges = false;
    bool endless = false;
    std::int64_t length = -1;
  };
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  mutable std::mutex mutex_;
  std::map<std::string, Item> items_;
  std::map<std::string, int> requests_;
  std::map<std::string, std::vector<std::string>> ranges_;
  std::atomic<bool> stopping_{false};
};

}  // namespace suite_test
