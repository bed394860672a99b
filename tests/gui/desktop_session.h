// Runs the desktop client for a test: an X server of its own (Xvfb) with a
// window manager (openbox), or a Wayland compositor of its own (sway) with
// XWayland, the program copied into a fresh application folder with its
// player suite, a home and configuration of its own, and a trace of what
// the window does.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

// The program that gives a headless sway a pointer and a keyboard; the
// desktop tests' build names it (other tests that take this header use no
// sway).
#ifndef WL_INPUT_BINARY
#define WL_INPUT_BINARY "wl_input"
#endif

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

// What a command that queries the X server on a display prints. xdotool
// and xwininfo walk the window tree and end with an X error (BadWindow,
// BadDrawable) when a window goes away under them, which the program's
// windows and menus do all the time: such a run is made again.
inline std::string x_query(const std::string& display, const std::string& command) {
  TempDir dir;
  const std::string errors = dir.file("errors");
  std::string out;
  for (int run = 0; run < 10; ++run) {
    out = command_output("DISPLAY=" + display + " " + command + " 2>'" + errors + "'");
    if (read_file(errors).find("X Error") == std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
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


// A Wayland compositor on a socket of its own: sway without any screen or
// input device (headless), 1366 × 768, with XWayland for X11 programs, a
// bar with a tray (StatusNotifierItem) on a session bus of its own, and a
// pointer and a keyboard driven by the tests (wl_input). The program's main
// window floats at the top-left corner, as on a stacking desktop; other
// windows are laid out as sway lays them out.
//
// sway refuses to run as root (CI runs as root): it then runs as an
// ordinary user in a user namespace of its own, which is root outside, so
// that the program (root) may use its sockets. Its bus takes clients from
// outside that namespace anonymously.
class Sway {
 public:
  static constexpr int kWidth = 1366;
  static constexpr int kHeight = 768;

  Sway() {
    namespace fs = std::filesystem;
    fs::create_directories(dir_.file("run"));
    fs::permissions(dir_.file("run"), fs::perms::owner_all);
    dir_.write("config",
               "xwayland enable\n"
               "output HEADLESS-1 resolution " + std::to_string(kWidth) + "x" +
                   std::to_string(kHeight) + " position 0 0\n"
               "default_border none\n"
               "for_window [title=\"^Tavori 1.0$\"] floating enable, move position 0 0\n"
               "bar {\n  position bottom\n  tray_output *\n}\n"
               "exec sh -c 'printf \"%s\\n%s\\n%s\\n\" \"$DISPLAY\" \"$SWAYSOCK\" "
               "\"$DBUS_SESSION_BUS_ADDRESS\" > " + dir_.file("env.new") + " && mv " +
                   dir_.file("env.new") + " " + dir_.file("env") + "'\n");
    dir_.write("bus.conf",
               "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>\n"
               "<auth>EXTERNAL</auth><auth>ANONYMOUS</auth><allow_anonymous/>\n"
               "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
               "<allow eavesdrop=\"true\"/><allow own=\"*\"/><allow user=\"*\"/></policy>\n"
               "</busconfig>\n");
    std::vector<std::string> argv;
    if (getuid() == 0)
      argv = {"/usr/bin/unshare", "--user", "--map-user=1000", "--map-group=1000"};
    for (const std::string& a : {std::string("/usr/bin/dbus-run-session"),
                                 "--config-file=" + dir_.file("bus.conf"), std::string("--"),
                                 std::string("/usr/bin/sway"), std::string("-c"), dir_.file("config")})
      argv.push_back(a);
    pid_ = launch(argv,
                  {"XDG_RUNTIME_DIR=" + dir_.file("run"), "WLR_BACKENDS=headless",
                   "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman", "HOME=" + dir_.str(),
                   "XDG_CONFIG_HOME=" + dir_.file("config"), "WAYLAND_DISPLAY=", "DISPLAY="},
                  dir_.str(), dir_.file("sway.txt"));
    if (!wait_for([&] { return std::filesystem::exists(dir_.file("env")); }, 20)) {
      problem_ = "sway did not start (as root it runs in a user namespace of its own): " +
                 tail(read_file(dir_.file("sway.txt")));
      return;
    }
    std::istringstream env(read_file(dir_.file("env")));
    std::getline(env, x_display_);
    std::getline(env, sway_socket_);
    std::getline(env, bus_);
    wayland_display_ = dir_.file("run/wayland-1");
    start_input();
  }
  ~Sway() {
    if (input_in_ >= 0) close(input_in_);
    if (input_out_ >= 0) close(input_out_);
    end_group(input_);
    end_group(pid_);
  }
  Sway(const Sway&) = delete;
  Sway& operator=(const Sway&) = delete;

  bool ready() const { return problem_.empty(); }
  // Why the compositor or its input cannot be used.
  const std::string& problem() const { return problem_; }
  // The socket's whole path (WAYLAND_DISPLAY), XWayland's display, the bus.
  const std::string& wayland_display() const { return wayland_display_; }
  const std::string& x_display() const { return x_display_; }
  const std::string& bus() const { return bus_; }

  // A line for the pointer and keyboard (see wl_input.cpp); true once
  // the compositor has the events.
  bool input(const std::string& line) const {
    if (input_in_ < 0) return false;
    const std::string out = line + "\n";
    if (write(input_in_, out.data(), out.size()) != static_cast<ssize_t>(out.size())) return false;
    return read_line(5000) == "ok";
  }
  void click(int x, int y, int button = 1) const {
    input("move " + std::to_string(x) + " " + std::to_string(y));
    input("press " + std::to_string(button));
    input("release " + std::to_string(button));
  }
  void key(const std::string& names) const { input("key " + names); }

  void screenshot(const std::string& path) const {
    const pid_t pid = launch({"/usr/bin/grim", path}, client_env(), dir_.str(), dir_.file("tools.txt"));
    waitpid(pid, nullptr, 0);
  }
  // What sway says (swaymsg's output).
  std::string swaymsg(const std::vector<std::string>& args) const {
    std::string command = "SWAYSOCK='" + sway_socket_ + "' /usr/bin/swaymsg";
    for (const std::string& a : args) command += " '" + a + "'";
    return command_output(command + " 2>&1");
  }
  // The windows sway shows (views, not containers), by title: their box
  // on the screen, whether they float and are full screen, and their
  // process.
  struct View {
    std::string title;
    int x = 0, y = 0, width = 0, height = 0;
    bool floating = false, full_screen = false, focused = false;
    long pid = 0;
  };
  std::vector<View> views() const {
    std::vector<View> found;
    const QJsonDocument tree = QJsonDocument::fromJson(QByteArray::fromStdString(swaymsg({"-t", "get_tree"})));
    collect(tree.object(), false, found);
    return found;
  }

 private:
  static std::string tail(const std::string& text) {
    return text.size() > 2000 ? text.substr(text.size() - 2000) : text;
  }
  std::vector<std::string> client_env() const {
    return {"WAYLAND_DISPLAY=" + wayland_display_, "XDG_RUNTIME_DIR=" + dir_.file("run")};
  }
  static void collect(const QJsonObject& node, bool floating, std::vector<View>& found) {
    if (node.contains("pid") && (node.value("type").toString() == "con" ||
                                 node.value("type").toString() == "floating_con")) {
      const QJsonObject rect = node.value("rect").toObject();
      View v;
      v.title = node.value("name").toString().toStdString();
      v.x = rect.value("x").toInt();
      v.y = rect.value("y").toInt();
      v.width = rect.value("width").toInt();
      v.height = rect.value("height").toInt();
      v.floating = floating;
      v.full_screen = node.value("fullscreen_mode").toInt() != 0;
      v.focused = node.value("focused").toBool();
      v.pid = node.value("pid").toInteger();
      found.push_back(v);
    }
    for (const QJsonValue c : node.value("nodes").toArray()) collect(c.toObject(), floating, found);
    for (const QJsonValue c : node.value("floating_nodes").toArray()) collect(c.toObject(), true, found);
  }
  // The pointer and keyboard: wl_input, on pipes.
  void start_input() {
    int to[2], from[2];
    if (pipe(to) != 0 || pipe(from) != 0) return;
    std::vector<std::string> env_text;
    for (char** e = environ; *e; ++e) env_text.emplace_back(*e);
    for (const std::string& e : client_env()) env_text.push_back(e);
    input_ = fork();
    if (input_ == 0) {
      setpgid(0, 0);
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      dup2(to[0], 0);
      dup2(from[1], 1);
      close(to[1]);
      close(from[0]);
      std::vector<char*> envp;
      for (std::string& e : env_text) envp.push_back(e.data());
      envp.push_back(nullptr);
      const std::string w = std::to_string(kWidth), h = std::to_string(kHeight);
      execle(WL_INPUT_BINARY, WL_INPUT_BINARY, w.c_str(), h.c_str(), static_cast<char*>(nullptr),
             envp.data());
      _exit(127);
    }
    close(to[0]);
    close(from[1]);
    input_in_ = to[1];
    input_out_ = from[0];
    if (read_line(10000) != "ready") problem_ = "the virtual pointer and keyboard (wl_input) did not start";
  }
  std::string read_line(int timeout_ms) const {
    std::string line;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < until) {
      pollfd p{input_out_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char c;
      if (read(input_out_, &c, 1) != 1) break;
      if (c == '\n') return line;
      line += c;
    }
    return line;
  }

  TempDir dir_;
  pid_t pid_ = -1;
  pid_t input_ = -1;
  int input_in_ = -1, input_out_ = -1;
  std::string problem_, wayland_display_, x_display_, sway_socket_, bus_;
};

class DesktopApp {
 public:
  DesktopApp(const Xvfb& x, std::string server_origin) : x_(&x), origin_(std::move(server_origin)) {
    make_folder();
  }
  // On the Wayland compositor: platform is "wayland" (the toolkit's own
  // Wayland platform) or "xcb" (X11 under XWayland).
  DesktopApp(const Sway& sway, std::string server_origin, std::string platform)
      : sway_(&sway), platform_(std::move(platform)), origin_(std::move(server_origin)) {
    make_folder();
  }
  void make_folder() {
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
    std::vector<std::string> env = {"XDG_CONFIG_HOME=" + dir_.file("config"),
                                    "HOME=" + dir_.file("home"), "XDG_RUNTIME_DIR=" + dir_.file("run"),
                                    "QTWEBENGINE_DISABLE_SANDBOX=1", "QT_QPA_PLATFORM=" + platform_};
    if (sway_) {
      // A Wayland session: both displays and the session's bus.
      for (const std::string& e : {"WAYLAND_DISPLAY=" + sway_->wayland_display(),
                                   "DISPLAY=" + sway_->x_display(),
                                   "DBUS_SESSION_BUS_ADDRESS=" + sway_->bus()})
        env.push_back(e);
    } else {
      env.push_back("DISPLAY=" + x_->display());
    }
    env.insert(env.end(), extra_env_.begin(), extra_env_.end());
    return launch(argv, env, app_, dir_.file("tavori-output.txt"));
  }
  // One more NAME=VALUE in the environment of the starts that follow.
  void add_env(const std::string& variable) { extra_env_.push_back(variable); }
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
    if (sway_)
      sway_->screenshot(path);
    else
      run({"import", "-window", "root", path});
    if (const char* keep = std::getenv("TAVORI_TEST_SCREENSHOTS")) {
      std::filesystem::create_directories(keep);
      std::filesystem::copy_file(path, std::string(keep) + "/" + name + ".png",
                                 std::filesystem::copy_options::overwrite_existing);
    }
    return path;
  }
  void click(int x, int y) const {
    if (sway_) return sway_->click(x, y);
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
    if (sway_) return sway_->click(x, y, 3);
    run({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", "3"});
  }
  // A key by its name (X11's keysym names: space, Left, Escape, ...).
  void key(const std::string& name) const {
    if (sway_) return sway_->key(name);
    run({"xdotool", "key", name});
  }
  // Turns the mouse wheel towards the user, notches times, at x, y.
  void wheel_down(int x, int y, int notches) const {
    if (sway_) {
      sway_->input("move " + std::to_string(x) + " " + std::to_string(y));
      for (int i = 0; i < notches; ++i) sway_->input("wheel 1");
      return;
    }
    run({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", "--repeat",
         std::to_string(notches), "--delay", "50", "5"});
  }
  // Moves the pointer (no button).
  void point(int x, int y) const {
    if (sway_) {
      sway_->input("move " + std::to_string(x) + " " + std::to_string(y));
      return;
    }
    run({"xdotool", "mousemove", std::to_string(x), std::to_string(y)});
  }
  void double_click(int x, int y) const {
    if (sway_) {
      point(x, y);
      // The window under the pointer hears of it before the clicks.
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      for (int i = 0; i < 2; ++i) sway_->input("press 1"), sway_->input("release 1");
      return;
    }
    run({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", "--repeat", "2",
         "--delay", "80", "1"});
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
    if (sway_) {
      std::string found;
      for (const Sway::View& v : sway_->views())
        if (v.title == title && v.pid == pid_) found += std::to_string(v.x) + "," + std::to_string(v.y) + "\n";
      return found;
    }
    return x_query(x_->display(), "xdotool search --all --onlyvisible --pid " + std::to_string(pid_) +
                                      " --name '^" + title + "$'");
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
    const pid_t pid = launch(full, {"DISPLAY=" + x_->display()}, dir_.str(), dir_.file("tools.txt"));
    waitpid(pid, nullptr, 0);
  }

  const Xvfb* x_ = nullptr;
  const Sway* sway_ = nullptr;
  std::string platform_ = "xcb";
  std::vector<std::string> extra_env_;
  std::string origin_;
  TempDir dir_;
  std::string app_;
  pid_t pid_ = -1;
};

}  // namespace tav::test
