// Runs the desktop client for a test: an X server of its own (Xvfb) with a
// window manager (openbox), the program copied into a fresh application
// folder with its player suite, a home and configuration of its own, and a
// trace of what the window does.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "folder_processes.h"
#include "temp_dir.h"

namespace tav::test {

// Starts a program with extra environment variables; returns its id, in a
// process group of its own.
inline pid_t launch(const std::vector<std::string>& argv_text, const std::vector<std::string>& env,
                    const std::string& folder, const std::string& output) {
  std::vector<std::string> args = argv_text;
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment;
  for (char** e = environ; *e; ++e) environment.emplace_back(*e);
  for (const std::string& e : env) {
    const std::string key = e.substr(0, e.find('=') + 1);
    std::erase_if(environment, [&](const std::string& x) { return x.rfind(key, 0) == 0; });
    environment.push_back(e);
  }
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (chdir(folder.c_str()) != 0) _exit(126);
    const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (out >= 0) {
      dup2(out, 1);
      dup2(out, 2);
    }
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  return pid;
}

inline void end_group(pid_t pid) {
  if (pid <= 0) return;
  kill(-pid, SIGTERM);
  for (int i = 0; i < 50; ++i) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  kill(-pid, SIGKILL);
  waitpid(pid, nullptr, WNOHANG);
}

// A window's place and size as "xdotool getwindowgeometry --shell" prints
// them (x and y stay -1 where it printed nothing).
struct WindowGeometry {
  int x = -1, y = -1, width = 0, height = 0;
};

inline WindowGeometry parse_window_geometry(const std::string& shell) {
  WindowGeometry g;
  std::istringstream in(shell);
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    const int value = std::atoi(line.c_str() + eq + 1);
    if (key == "X") g.x = value;
    if (key == "Y") g.y = value;
    if (key == "WIDTH") g.width = value;
    if (key == "HEIGHT") g.height = value;
  }
  return g;
}

inline bool wait_for(const std::function<bool()>& done, double seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(
                                                            static_cast<long long>(seconds * 1000));
  while (std::chrono::steady_clock::now() < until) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return done();
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// What a command prints on its standard output.
inline std::string command_output(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
    pclose(p);
  }
  return out;
}

// An X server on a display of its own, with a window manager on it.
class Xvfb {
 public:
  // screen: width x height x depth.
  explicit Xvfb(const std::string& screen = "1366x768x24") {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      setpgid(0, 0);
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      close(fds[0]);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
             "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    char buffer[32] = {};
    const ssize_t n = read(fds[0], buffer, sizeof buffer - 1);
    report_ = fds[0];  // kept open: the server may write to it again
    if (n > 0) display_ = ":" + std::string(buffer, static_cast<std::size_t>(n - (buffer[n - 1] == '\n')));
    if (!display_.empty()) start_window_manager();
  }
  ~Xvfb() {
    end_group(wm_);
    end_group(pid_);
    if (report_ >= 0) close(report_);
  }
  const std::string& display() const { return display_; }
  // The X server runs and a window manager has taken it over.
  bool ready() const { return !display_.empty() && wm_ready_; }

 private:
  // openbox with its default settings (an empty configuration folder of
  // its own); ready once it announces itself on the root window.
  void start_window_manager() {
    wm_ = launch({"/usr/bin/openbox"},
                 {"DISPLAY=" + display_, "XDG_CONFIG_HOME=" + home_.file("config"),
                  "XDG_CACHE_HOME=" + home_.file("cache"), "HOME=" + home_.str()},
                 home_.str(), home_.file("openbox.txt"));
    wm_ready_ = wait_for(
        [&] {
          return command_output("DISPLAY=" + display_ + " xprop -root _NET_SUPPORTING_WM_CHECK")
                     .find("window id") != std::string::npos;
        },
        20);
  }

  pid_t pid_ = -1;
  pid_t wm_ = -1;
  int report_ = -1;
  bool wm_ready_ = false;
  std::string display_;
  TempDir home_;
};

class DesktopApp {
 public:
  DesktopApp(const Xvfb& x, std::string server_origin)
      : x_(x), origin_(std::move(server_origin)) {
    namespace fs = std::filesystem;
    const fs::path from = TAVORI_APP_DIR;
    app_ = dir_.file("app");
    for (const char* sub : {"app/Qvod", "config", "home", "run", "downloads"})
      fs::create_directories(dir_.file(sub));
    fs::permissions(dir_.file("run"), fs::perms::owner_all);
    for (const char* name : {"tavori", "regsvr32", "i.gif", "Qvod/QvodInsert.dll",
                             "Qvod/QvodTerminal.exe", "Qvod/QvodPlayer.exe"})
      fs::copy_file(from / name, fs::path(app_) / name);
    std::ofstream xml(dir_.file("app/Qvod/QvodPlayer.xml"));
    xml << "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<QvodPlayer Defaultsavepath=\""
        << dir_.file("downloads") << "/\" Seedsource=\"" << origin_ << "/seed/\" />\r\n";
  }
  // The suite's service that the program started lives on outside its
  // process group; it goes too, so that no later test finds it running.
  ~DesktopApp() {
    stop();
    end_processes_in(app_);
  }

  void start(const std::vector<std::string>& args = {}) { pid_ = start_another(args, "trace.txt"); }
  // One more start of the program in the same folder and environment, with
  // a trace file of its own; returns its process id.
  pid_t start_another(const std::vector<std::string>& args, const std::string& trace_name) const {
    std::vector<std::string> argv = {app_ + "/tavori", "--server-base=" + origin_ + "/box/",
                                     "--trace=" + dir_.file(trace_name)};
    argv.insert(argv.end(), args.begin(), args.end());
    return launch(argv,
                  {"DISPLAY=" + x_.display(), "XDG_CONFIG_HOME=" + dir_.file("config"),
                   "HOME=" + dir_.file("home"), "XDG_RUNTIME_DIR=" + dir_.file("run"),
                   "QTWEBENGINE_DISABLE_SANDBOX=1", "QT_QPA_PLATFORM=xcb"},
                  app_, dir_.file("tavori-output.txt"));
  }
  pid_t pid() const { return pid_; }
  void stop() {
    end_group(pid_);
    pid_ = -1;
  }
  // Registers the player library as an installer would.
  void register_player() const {
    const pid_t pid = launch({app_ + "/regsvr32", "/s", app_ + "/Qvod/QvodInsert.dll"},
                             {"XDG_CONFIG_HOME=" + dir_.file("config"), "HOME=" + dir_.file("home")},
                             app_, dir_.file("tools.txt"));
    waitpid(pid, nullptr, 0);
  }
  bool running() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }

  std::string app_file(const std::string& name) const { return app_ + "/" + name; }
  bool has(const std::string& name) const { return std::filesystem::exists(app_file(name)); }
  std::string file(const std::string& name) const { return read_file(app_file(name)); }
  std::string trace() const { return read_file(trace_path()); }
  bool traced(const std::string& part) const { return trace().find(part) != std::string::npos; }
  bool wait_traced(const std::string& part, double seconds) const {
    return wait_for([&] { return traced(part); }, seconds);
  }
  // Waits for a line containing part after the first line containing after.
  bool wait_traced_after(const std::string& after, const std::string& part, double seconds) const {
    return wait_for(
        [&] {
          const std::string t = trace();
          const std::size_t at = t.find(after);
          return at != std::string::npos && t.find(part, at) != std::string::npos;
        },
        seconds);
  }
  std::string output() const { return read_file(dir_.file("tavori-output.txt")); }
  std::string registry() const { return read_file(dir_.file("config/tavori-suite/registry.ini")); }
  std::string downloads() const { return dir_.file("downloads"); }

  // A PNG of the whole screen; the window stands at its top-left corner.
  std::string screenshot(const std::string& name) const {
    const std::string path = dir_.file(name + ".png");
    run({"import", "-window", "root", path});
    if (const char* keep = std::getenv("TAVORI_TEST_SCREENSHOTS")) {
      std::filesystem::create_directories(keep);
      std::filesystem::copy_file(path, std::string(keep) + "/" + name + ".png",
                                 std::filesystem::copy_options::overwrite_existing);
    }
    return path;
  }
  void click(int x, int y) const {
    run({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", "1"});
  }
  // Clicks until the trace shows part: a click that comes while the window
  // is still being mapped is lost.
  bool click_until(int x, int y, const std::string& part, int tries = 5) const {
    for (int i = 0; i < tries; ++i) {
      click(x, y);
      if (wait_traced(part, 4)) return true;
    }
    return false;
  }
  void right_click(int x, int y) const {
    run({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", "3"});
  }
  void key(const std::string& name) const { run({"xdotool", "key", name}); }
  // Turns the mouse wheel towards the user, notches times, at x, y.
  void wheel_down(int x, int y, int notches) const {
    run({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", "--repeat",
         std::to_string(notches), "--delay", "50", "5"});
  }
  // How many trace lines start with prefix.
  int traced_count(const std::string& prefix) const {
    const std::string t = "\n" + trace();
    int n = 0;
    for (std::size_t at = t.find("\n" + prefix); at != std::string::npos; at = t.find("\n" + prefix, at + 1)) ++n;
    return n;
  }
  // The last trace line that starts with prefix; empty when none does.
  std::string last_traced(const std::string& prefix) const {
    const std::string t = trace();
    std::string found;
    std::size_t at = 0;
    while (at < t.size()) {
      std::size_t end = t.find('\n', at);
      if (end == std::string::npos) end = t.size();
      if (t.compare(at, prefix.size(), prefix) == 0) found = t.substr(at, end - at);
      at = end + 1;
    }
    return found;
  }
  // Waits for the last line that starts with prefix to contain part, and
  // returns that line (whatever it is after the time).
  std::string wait_last(const std::string& prefix, const std::string& part, double seconds) const {
    std::string line;
    wait_for(
        [&] {
          line = last_traced(prefix);
          return line.find(part) != std::string::npos;
        },
        seconds);
    return line;
  }
  // The program's visible windows with that title.
  std::string windows_titled(const std::string& title) const {
    return command_output("DISPLAY=" + x_.display() + " xdotool search --all --onlyvisible --pid " +
                          std::to_string(pid_) + " --name '^" + title + "$'");
  }
  void write_app_file(const std::string& name, const std::string& bytes) const {
    std::ofstream out(app_file(name), std::ios::binary | std::ios::trunc);
    out << bytes;
  }

 private:
  std::string trace_path() const { return dir_.file("trace.txt"); }
  void run(const std::vector<std::string>& argv) const {
    std::vector<std::string> full = argv;
    full[0] = "/usr/bin/" + full[0];
    const pid_t pid = launch(full, {"DISPLAY=" + x_.display()}, dir_.str(), dir_.file("tools.txt"));
    waitpid(pid, nullptr, 0);
  }

  const Xvfb& x_;
  std::string origin_;
  TempDir dir_;
  std::string app_;
  pid_t pid_ = -1;
};

}  // namespace tav::test
