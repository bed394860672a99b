// Test main: a private HOME and XDG_CONFIG_HOME, Qt on the offscreen
// platform, and the helpers of suite_support.h.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <QApplication>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "suite_support.h"
#include "suite/player/terminal_link.h"

namespace suite_test {

namespace {
fs::path g_root;
}

const fs::path& root() { return g_root; }

fs::path fresh_folder(const std::string& tag) {
  static int serial = 0;
  fs::path folder = g_root / (tag + "-" + std::to_string(++serial));
  fs::create_directories(folder);
  return folder;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_file(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

const std::string& clip() {
  static const std::string path = [] {
    const fs::path file = g_root / "media" / "clip.mp4";
    fs::create_directories(file.parent_path());
    const std::string command =
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=160x120:rate=25:duration=7 "
        "-f lavfi -i sine=frequency=440:duration=7 -c:v libx264 -preset ultrafast -g 25 "
        "-pix_fmt yuv420p -c:a aac -b:a 64k -shortest '" + file.string() + "'";
    if (std::system(command.c_str()) != 0) return std::string();
    return file.string();
  }();
  return path;
}

const Library& library() {
  static const Library lib = [] {
    Library l;
    l.folder = g_root / "app" / "Qvod";
    fs::create_directories(l.folder);
    const fs::path copy = l.folder / "QvodInsert.dll";
    fs::copy_file(SUITE_LIBRARY, copy, fs::copy_options::overwrite_existing);
    // The control starts the suite's service from its own folder.
    fs::copy_file(SUITE_TERMINAL, l.folder / "QvodTerminal.exe", fs::copy_options::overwrite_existing);
    void* handle = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      std::fprintf(stderr, "dlopen: %s\n", dlerror());
      return l;
    }
    l.create = reinterpret_cast<tav::suite::CreatePlayerFn>(
        dlsym(handle, tav::suite::kCreatePlayerSymbol));
    return l;
  }();
  return lib;
}

void write_settings(const std::string& save_folder, const std::string& seed_source) {
  write_file(library().folder / "QvodPlayer.xml",
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<QvodPlayer Defaultsavepath=\"" +
                 save_folder + "\" Seedsource=\"" + seed_source + "\" />\n");
}

bool wait_until(const std::function<bool()>& pred, int timeout_ms) {
  QElapsedTimer timer;
  timer.start();
  for (;;) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (pred()) return true;
    if (timer.elapsed() > timeout_ms) return false;
    QThread::msleep(5);
  }
}

void pump(int ms) {
  wait_until([] { return false; }, ms);
}

SeedServer::SeedServer() {
  auto serve = [this](const httplib::Request& req, httplib::Response& res) {
    Item item;
    {
      std::lock_guard lock(mutex_);
      ++requests_[req.path];
      ranges_[req.path].push_back(req.get_header_value("Range"));
      const auto it = items_.find(req.path);
      if (it == items_.end()) {
        res.status = 404;
        return;
      }
      item = it->second;
    }
    if (item.ignores_ranges) const_cast<httplib::Request&>(req).ranges.clear();
    if (item.endless) {
      const auto zeros = [this](size_t, httplib::DataSink& sink) {
        static const std::string block(65536, '\0');
        return !stopping_ && sink.write(block.data(), block.size());
      };
      if (item.length >= 0)
        res.set_content_provider(static_cast<size_t>(item.length), "application/octet-stream",
                                 [zeros](size_t offset, size_t, httplib::DataSink& sink) {
                                   return zeros(offset, sink);
                                 });
      else
        res.set_chunked_content_provider("application/octet-stream", zeros);
      return;
    }
    auto bytes = std::make_shared<std::string>(std::move(item.bytes));
    const int rate = item.rate;
    res.set_content_provider(
        bytes->size(), "application/octet-stream",
        [this, bytes, rate](size_t offset, size_t length, httplib::DataSink& sink) {
          // Slow servers send 1/20 of their rate every 50 ms.
          const size_t chunk = rate > 0 ? std::max<size_t>(1, rate / 20) : length;
          const size_t n = std::min(length, chunk);
          if (rate > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
          if (stopping_) return false;
          return sink.write(bytes->data() + offset, n);
        });
  };
  server_.set_keep_alive_timeout(1);
  server_.Get(R"(/seed/[A-Za-z0-9]+)", serve);
  server_.Get(R"(/media/[A-Za-z0-9_.\-]+)", serve);
  port_ = server_.bind_to_any_port("127.0.0.1");
  thread_ = std::thread([this] { server_.listen_after_bind(); });
  // stop() before the loop runs would be lost.
  while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

SeedServer::~SeedServer() {
  stopping_ = true;
  server_.stop();
  thread_.join();
}

void SeedServer::add(const std::string& path, std::string bytes, int bytes_per_second,
                     bool ignores_ranges) {
  std::lock_guard lock(mutex_);
  items_[path] = Item{std::move(bytes), bytes_per_second, ignores_ranges};
}

void SeedServer::add_endless(const std::string& path, std::int64_t length) {
  std::lock_guard lock(mutex_);
  items_[path] = Item{{}, 0, false, true, length};
}

int SeedServer::requests(const std::string& path) const {
  std::lock_guard lock(mutex_);
  const auto it = requests_.find(path);
  return it == requests_.end() ? 0 : it->second;
}

std::vector<std::string> SeedServer::ranges(const std::string& path) const {
  std::lock_guard lock(mutex_);
  const auto it = ranges_.find(path);
  return it == ranges_.end() ? std::vector<std::string>{} : it->second;
}

void end_terminal(const fs::path& runtime_folder) {
  const auto endpoint = tav::suite::read_terminal_endpoint(runtime_folder.string());
  if (!endpoint) return;
  // Only a service of this test run: its program lies under the root.
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/" + std::to_string(endpoint->pid) + "/exe", ec);
  if (ec || exe.string().rfind(g_root.string(), 0) != 0) return;
  ::kill(static_cast<pid_t>(endpoint->pid), SIGTERM);
  for (int i = 0; i < 200 && fs::exists("/proc/" + std::to_string(endpoint->pid)); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

}  // namespace suite_test

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  char pattern[] = "/tmp/tavori-suite-test-XXXXXX";
  if (!mkdtemp(pattern)) return 2;
  suite_test::g_root = pattern;
  fs::create_directories(suite_test::g_root / "home");
  fs::create_directories(suite_test::g_root / "config");
  setenv("HOME", (suite_test::g_root / "home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (suite_test::g_root / "config").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", suite_test::g_root.c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);  // a caller may ask for a real display
  for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy",
                           "ALL_PROXY"})
    unsetenv(name);

  int result = 0;
  {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    result = RUN_ALL_TESTS();
  }
  // The service the players started (it would also end by itself once its
  // runtime folder is gone).
  suite_test::end_terminal(suite_test::g_root / "tavori-suite");
  std::error_code ec;
  fs::remove_all(suite_test::g_root, ec);
  return result;
}
