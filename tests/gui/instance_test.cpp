// The single-instance channel: first on its own, in this process (no
// display), then for real: a second tavori under Xvfb and openbox hands its
// command line to the first and ends.
#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSysInfo>
#include <QThread>
#include <QUrl>
#include <QTimer>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <optional>

#include "desktop_session.h"
#include "platform/qt/qt_single_instance.h"
#include "server_process.h"

namespace tav::test {
namespace {

using tav::qt::QtSingleInstance;

// Runs the application's events until done() or a generous bound.
bool process_until(const std::function<bool()>& done) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < 20000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QThread::msleep(5);
  }
  return done();
}

class Channel : public ::testing::Test {
 protected:
  // Each test its own application folder, so its own lock and channel.
  std::string folder() const {
    return std::string("/opt/tavori-test/") +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
  }
  // A first instance that serves and records what it is handed.
  std::unique_ptr<QtSingleInstance> serve_first() {
    auto first = std::make_unique<QtSingleInstance>(folder());
    EXPECT_FALSE(first->another_running());
    first->serve([this](const std::string& command) { received_.push_back(command); });
    EXPECT_TRUE(first->serving());
    return first;
  }
  std::vector<std::string> received_;
};

TEST_F(Channel, HandsOverEveryCommandLineUnchanged) {
  auto first = serve_first();
  std::string megabyte;
  while (megabyte.size() < (1u << 20)) megabyte += "\"/影视/第 1 集\" 'x' \\ \t|%20&?# ";
  const std::vector<std::string> lines = {
      "",
      "\"/home/用户/我的 电影/新 片.mp4\"",
      "qvod://1234|0123456789ABCDEF|电影 第1集.rmvb|",
      "http://127.0.0.1:8080/box/a b.mp4?x=\"1\"&y='2'",
      std::string("nul\0inside", 10),
      megabyte,
  };
  for (const std::string& line : lines) {
    QtSingleInstance second(folder());
    ASSERT_TRUE(second.another_running());
    second.withdraw();
    // This thread is the first instance's user-interface thread too, and
    // stays busy in send(): the channel answers all the same.
    EXPECT_TRUE(second.send(line)) << line.size();
  }
  ASSERT_TRUE(process_until([&] { return received_.size() == lines.size(); }));
  for (std::size_t i = 0; i < lines.size(); ++i)
    EXPECT_TRUE(received_[i] == lines[i]) << "line " << i << ", " << received_[i].size() << " bytes";
}

// Writes raw bytes to the channel and closes.
void write_raw(const QString& name, const QByteArray& bytes) {
  QLocalSocket socket;
  socket.connectToServer(name);
  ASSERT_TRUE(socket.waitForConnected(2000));
  socket.write(bytes);
  while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(2000)) {
  }
  socket.disconnectFromServer();
}

TEST_F(Channel, ATornOrMalformedMessageIsNotCarriedOut) {
  auto first = serve_first();
  write_raw(first->server_name(), "");                      // a probe
  write_raw(first->server_name(), "20\n/home/a.mp");        // the sender died midway
  write_raw(first->server_name(), "/home/a.mp4");           // no length
  write_raw(first->server_name(), "-3\nabc");               // a bad length
  write_raw(first->server_name(), "99999999999999999\nx");  // beyond any command line
  QtSingleInstance second(folder());
  ASSERT_TRUE(second.send("/home/b.mp4"));
  ASSERT_TRUE(process_until([&] { return !received_.empty(); }));
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
  EXPECT_EQ(received_, std::vector<std::string>{"/home/b.mp4"});
}

// A lock file and a socket as an instance that was killed leaves them.
void leave_killed_instance(const QtSingleInstance& instance) {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);  // a process id that no longer runs
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  std::ofstream(instance.lock_path().toStdString())
      << child << "\ntavori\n" << host << "\n" << QSysInfo::machineUniqueId().toStdString() << "\n";
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = instance.server_name().toStdString();
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << path;
  listen(fd, 1);
  close(fd);  // the socket file stays, nobody listens
}

TEST_F(Channel, AKilledInstancesLockAndSocketDoNotStopTheNextStart) {
  {
    QtSingleInstance killed(folder());
    leave_killed_instance(killed);
    ASSERT_TRUE(std::filesystem::exists(killed.lock_path().toStdString()));
    ASSERT_TRUE(std::filesystem::exists(killed.server_name().toStdString()));
  }
  auto first = serve_first();
  QtSingleInstance second(folder());
  EXPECT_TRUE(second.another_running());
  EXPECT_TRUE(second.send("/home/c.mp4"));
  ASSERT_TRUE(process_until([&] { return !received_.empty(); }));
  EXPECT_EQ(received_[0], "/home/c.mp4");
}

TEST_F(Channel, ALockFileNoLiveInstanceHoldsIsCleared) {
  QtSingleInstance killed(folder());
  std::ofstream(killed.lock_path().toStdString()) << getpid() << "\nnot-tavori\nsome-other-host\n";
  auto first = serve_first();
  EXPECT_TRUE(first->serving());
}

TEST_F(Channel, ASecondStartEndsWhenTheFirstDoesNotServeOrNeverAnswers) {
  // The first holds the lock but does not serve the channel (yet).
  QtSingleInstance first(folder());
  ASSERT_FALSE(first.another_running());
  QtSingleInstance second(folder(), 500);
  ASSERT_TRUE(second.another_running());
  EXPECT_FALSE(second.send("/home/d.mp4"));

  // A channel that takes the connection and never reads: a hung instance.
  QLocalServer hung;
  QLocalServer::removeServer(first.server_name());
  ASSERT_TRUE(hung.listen(first.server_name()));
  EXPECT_FALSE(second.send(std::string(1 << 20, 'x')));
  EXPECT_FALSE(second.send("/home/e.mp4"));
}

TEST_F(Channel, AStartingInstanceIsWaitedFor) {
  QtSingleInstance first(folder());
  ASSERT_FALSE(first.another_running());
  std::string received;
  // The first serves a moment after the second has begun to send.
  QTimer::singleShot(300, [&] { first.serve([&](const std::string& c) { received = c; }); });
  QtSingleInstance second(folder());
  std::optional<bool> another, sent;
  std::thread sender([&] {
    another = second.another_running();
    sent = second.send("/home/f.mp4");
  });
  ASSERT_TRUE(process_until([&] { return !received.empty(); }));
  sender.join();
  EXPECT_EQ(another, true);
  EXPECT_EQ(sent, true);
  EXPECT_EQ(received, "/home/f.mp4");
}

TEST_F(Channel, AnEndingInstanceLeavesTheChannelToTheNextStart) {
  // The first has stopped serving and is about to let go of its lock.
  auto first = std::make_unique<QtSingleInstance>(folder());
  ASSERT_FALSE(first->another_running());
  QTimer::singleShot(300, [&] { first.reset(); });
  QtSingleInstance next(folder());
  std::optional<bool> another;
  std::thread start([&] { another = next.another_running(); });
  ASSERT_TRUE(process_until([&] { return !first; }));
  start.join();
  EXPECT_EQ(another, false);
}

TEST_F(Channel, WithoutAPrivateRuntimeFolderTheChannelIsInTheUsersOwnNeverInASharedOne) {
  // A runtime folder that others may enter, and another user's listener
  // at the name a shared folder would give the channel.
  const std::string base = "/tmp/tavori-channel-" + std::to_string(getpid());
  std::filesystem::create_directories(base + "/run");
  std::filesystem::permissions(base + "/run", std::filesystem::perms::all);
  const char* old_runtime = std::getenv("XDG_RUNTIME_DIR");
  const char* old_cache = std::getenv("XDG_CACHE_HOME");
  const std::string keep_runtime = old_runtime ? old_runtime : "", keep_cache = old_cache ? old_cache : "";
  setenv("XDG_RUNTIME_DIR", (base + "/run").c_str(), 1);
  setenv("XDG_CACHE_HOME", (base + "/cache").c_str(), 1);
  QLocalServer foreign;
  {
    auto first = serve_first();
    EXPECT_TRUE(first->server_name().startsWith(QString::fromStdString(base + "/cache/tavori-run/")))
        << first->server_name().toStdString();
    EXPECT_TRUE(first->lock_path().startsWith(QString::fromStdString(base + "/cache/tavori-run/")));
    EXPECT_EQ(std::filesystem::status(base + "/cache/tavori-run").permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);
    const QString shared = QString::fromStdString(base + "/run/") +
                           QFileInfo(first->server_name()).fileName();
    ASSERT_TRUE(foreign.listen(shared));
    QtSingleInstance second(folder());
    EXPECT_TRUE(second.another_running());
    EXPECT_TRUE(second.send("/home/g.mp4"));
    ASSERT_TRUE(process_until([&] { return !received_.empty(); }));
    EXPECT_EQ(received_[0], "/home/g.mp4");
    EXPECT_FALSE(foreign.hasPendingConnections());
  }
  foreign.close();
  if (old_runtime) setenv("XDG_RUNTIME_DIR", keep_runtime.c_str(), 1);
  else unsetenv("XDG_RUNTIME_DIR");
  if (old_cache) setenv("XDG_CACHE_HOME", keep_cache.c_str(), 1);
  else unsetenv("XDG_CACHE_HOME");
  std::filesystem::remove_all(base);
}

// ---------------------------------------------------------------------------
// The desktop.

// A window manager on the test's X server.
class Openbox {
 public:
  Openbox(const Xvfb& x, const std::string& home) : x_(x) {
    pid_ = launch({"/usr/bin/openbox"}, {"DISPLAY=" + x.display(), "HOME=" + home, "XDG_CONFIG_HOME=" + home},
                  home, home + "/openbox.txt");
    ready_ = wait_for([&] { return !output("xprop -root _NET_SUPPORTING_WM_CHECK").empty() &&
                                   output("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos; },
                      20);
  }
  ~Openbox() { end_group(pid_); }
  bool ready() const { return ready_; }
  // What a command prints on the display.
  std::string output(const std::string& command) const {
    std::string out = x_query(x_.display(), command);
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
  }
  std::string active_window() const { return output("xdotool getactivewindow"); }
  std::string active_pid() const { return output("xdotool getactivewindow getwindowpid"); }
  bool minimised(const std::string& window) const {
    return output("xprop -id " + window + " _NET_WM_STATE").find("_NET_WM_STATE_HIDDEN") != std::string::npos;
  }

 private:
  const Xvfb& x_;
  pid_t pid_ = -1;
  bool ready_ = false;
};

std::string to_gbk(const std::string& utf8) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  std::string in = utf8;
  std::string out(in.size() * 2 + 8, '\0');
  char* src = in.data();
  char* dst = out.data();
  std::size_t left = in.size(), room = out.size();
  iconv(cd, &src, &left, &dst, &room);
  iconv_close(cd);
  out.resize(out.size() - room);
  return out;
}

// Ends within the bound; its exit status, or nothing.
std::optional<int> exit_status(pid_t pid, double seconds) {
  int status = 0;
  if (!wait_for([&] { return waitpid(pid, &status, WNOHANG) == pid; }, seconds)) {
    kill(-pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return std::nullopt;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class SecondStart : public ::testing::Test {
 protected:
  // What a shell, a URL or the list files could take for their own syntax.
  static constexpr const char* kOddName = "新 片 100%41 $HOME & #1 'q' \"d\".mp4";

  static void SetUpTestSuite() {
    x_ = new Xvfb;
    home_ = new TempDir;
    if (x_->ready()) wm_ = new Openbox(*x_, home_->str());
    const std::string folder = home_->file("我的 电影");
    std::filesystem::create_directories(folder);
    for (const char* name : {"ep1.mp4", "odd.mp4"}) {
      const std::string command =
          "ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=160x120:rate=15:duration=30 "
          "-f lavfi -i sine=frequency=440:duration=30 -c:v libx264 -preset ultrafast "
          "-pix_fmt yuv420p -c:a aac -shortest -movflags +faststart '" + folder + "/" + name + "'";
      if (std::system(command.c_str()) != 0) ADD_FAILURE() << "ffmpeg failed for " << name;
    }
    std::filesystem::rename(folder + "/odd.mp4", folder + "/" + kOddName);
  }
  static void TearDownTestSuite() {
    delete wm_;
    delete x_;
    delete home_;
    wm_ = nullptr;
    x_ = nullptr;
    home_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(x_->ready()) << "Xvfb did not start";
    ASSERT_TRUE(wm_ && wm_->ready()) << "openbox did not start";
    server_ = std::make_unique<ServerProcess>(ServerProcess::later);
    server_->folder().write("catalogue.txt", "series 1\nname 测试剧\nshelf library\nepisode 第1集 | ep1.mp4 | qvod\n");
    ASSERT_TRUE(server_->start({"--catalogue", "catalogue.txt", "--media", film_folder()}));
    app_ = std::make_unique<DesktopApp>(*x_, server_->origin());
    app_->register_player();
  }
  static std::string film_folder() { return home_->file("我的 电影"); }
  static std::string film(const std::string& name) { return film_folder() + "/" + name; }

  // Starts the first instance playing a film; its window's id.
  std::string start_first() {
    app_->start({film("ep1.mp4")});
    EXPECT_TRUE(app_->wait_traced("BA1 shown", 60)) << app_->output();
    EXPECT_TRUE(app_->wait_traced("zhun caption 播放中(", 60)) << app_->trace() << app_->output();
    std::string window;
    wait_for([&] {
      window = wm_->active_window();
      return wm_->active_pid() == std::to_string(app_->pid());
    }, 20);
    return window;
  }
  // The film heads the list of local films (its name with "%" escaped).
  bool heads_local_list(const std::string& path) {
    std::string name;
    for (const char c : path.substr(path.rfind('/') + 1)) name += c == '%' ? std::string("%25") : std::string(1, c);
    return wait_for([&] { return app_->file("date_f.dat").rfind(to_gbk(name + "|" + path + "|"), 0) == 0; }, 20);
  }

  static Xvfb* x_;
  static TempDir* home_;
  static Openbox* wm_;
  std::unique_ptr<ServerProcess> server_;
  std::unique_ptr<DesktopApp> app_;
};

Xvfb* SecondStart::x_ = nullptr;
TempDir* SecondStart::home_ = nullptr;
Openbox* SecondStart::wm_ = nullptr;

TEST_F(SecondStart, HandsItsFilmToTheMinimisedFirstWhichComesToTheFrontAndPlaysIt) {
  const std::string window = start_first();
  ASSERT_FALSE(window.empty());
  ASSERT_TRUE(heads_local_list(film("ep1.mp4"))) << app_->file("date_f.dat");

  // Minimised, with another program's window in front and focused.
  wm_->output("xdotool windowminimize " + window);
  ASSERT_TRUE(wait_for([&] { return wm_->minimised(window); }, 10));
  const pid_t other = launch({"/usr/bin/xmessage", "-name", "other", "another program"},
                             {"DISPLAY=" + x_->display()}, home_->str(), "/dev/null");
  std::string other_window;
  ASSERT_TRUE(wait_for([&] {
    other_window = wm_->output("xdotool search --onlyvisible --classname other");
    return !other_window.empty();
  }, 20));
  wm_->output("xdotool windowactivate " + other_window);
  ASSERT_TRUE(wait_for([&] { return wm_->active_window() == other_window; }, 20));

  const pid_t second = app_->start_another({film(kOddName)}, "second-trace.txt");
  EXPECT_EQ(exit_status(second, 60), 0);
  EXPECT_TRUE(app_->running());
  EXPECT_TRUE(app_->wait_traced("player put 1 " + film(kOddName), 20)) << app_->trace();
  EXPECT_TRUE(heads_local_list(film(kOddName))) << app_->file("date_f.dat");
  EXPECT_TRUE(app_->wait_traced_after("player put 1 " + film(kOddName), "zhun caption 播放中(", 30))
      << app_->trace();
  EXPECT_TRUE(wait_for([&] { return wm_->active_window() == window; }, 10))
      << "active: " << wm_->active_window() << " pid " << wm_->active_pid();
  EXPECT_FALSE(wm_->minimised(window));
  app_->screenshot("second-start");
  end_group(other);
}

TEST_F(SecondStart, BringsBackTheFirstHiddenInTheTrayForAFileTheDesktopOpens) {
  // A tray on the desktop (trayer, an XEmbed tray), so that closing the
  // window hides it to the tray (asked once before: yes).
  const pid_t tray = launch({"/usr/bin/trayer", "--edge", "bottom", "--align", "right"},
                            {"DISPLAY=" + x_->display()}, home_->str(), home_->file("trayer.txt"));
  ASSERT_TRUE(wait_for([&] { return wm_->output("xprop -root _NET_SUPPORTING_WM_CHECK").size() > 0 &&
                                    !wm_->output("xdotool search --class trayer").empty(); },
                       20))
      << "no tray";
  std::ofstream(app_->app_file("config.ini")) << "[S_q]\r\nts=1\r\nquit=2\r\n";
  const std::string window = start_first();
  ASSERT_FALSE(window.empty());
  std::map<std::string, int> geometry;
  std::istringstream shell(wm_->output("xdotool getwindowgeometry --shell " + window));
  for (std::string line; std::getline(shell, line);)
    if (const auto eq = line.find('='); eq != std::string::npos)
      geometry[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
  wm_->output("xdotool mousemove " + std::to_string(geometry["X"] + geometry["WIDTH"] - 20) + " " +
              std::to_string(geometry["Y"] + 10) + " click 1");
  ASSERT_TRUE(app_->wait_traced("BA1 hidden", 10)) << app_->trace();

  // As the desktop opens a file with the program: its file:// address.
  const std::string address = "file://" + QUrl::toPercentEncoding(QString::fromStdString(film(kOddName)), "/").toStdString();
  const pid_t second = app_->start_another({address}, "second-trace.txt");
  EXPECT_EQ(exit_status(second, 60), 0);
  EXPECT_TRUE(app_->wait_traced_after("BA1 hidden", "BA1 shown", 20)) << app_->trace();
  EXPECT_TRUE(heads_local_list(film(kOddName))) << app_->file("date_f.dat");
  EXPECT_TRUE(app_->wait_traced("player put 1 " + film(kOddName), 20)) << app_->trace();
  EXPECT_TRUE(wait_for([&] { return wm_->active_window() == window; }, 10))
      << "active: " << wm_->active_window();
  end_group(tray);
}

TEST_F(SecondStart, EndsWhileTheFirstIsHungAndTheFirstPlaysTheFilmOnceItRecovers) {
  ASSERT_FALSE(start_first().empty());
  kill(app_->pid(), SIGSTOP);
  const pid_t second = app_->start_another({film(kOddName)}, "second-trace.txt");
  const std::optional<int> status = exit_status(second, 60);
  kill(app_->pid(), SIGCONT);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(app_->wait_traced("player put 1 " + film(kOddName), 20)) << app_->trace();
  EXPECT_TRUE(heads_local_list(film(kOddName))) << app_->file("date_f.dat");
}

TEST_F(SecondStart, ATerminatedProgramRecordsWhereTheFilmWas) {
  // As a session that ends or a service manager ends it: SIGTERM to the
  // program alone.
  ASSERT_FALSE(start_first().empty());
  ASSERT_TRUE(app_->wait_traced("times caption 00:06", 30)) << app_->trace();
  kill(app_->pid(), SIGTERM);
  EXPECT_EQ(exit_status(app_->pid(), 10), 0);
  const std::string list = app_->file("date_f.dat");
  const std::string head = to_gbk("ep1.mp4|" + film("ep1.mp4") + "|");
  ASSERT_EQ(list.rfind(head, 0), 0u) << list;
  const int at = std::atoi(list.c_str() + head.size());
  EXPECT_GE(at, 5) << list;
  EXPECT_LE(at, 12) << list;
}

TEST_F(SecondStart, AStartAfterAKilledInstanceRunsAndServesTheNext) {
  ASSERT_FALSE(start_first().empty());
  kill(-app_->pid(), SIGKILL);
  waitpid(app_->pid(), nullptr, 0);

  const pid_t next = app_->start_another({}, "next-trace.txt");
  ASSERT_TRUE(wait_for([&] { return read_file(app_->app_file("../next-trace.txt")).find("BA1 shown") != std::string::npos; }, 60))
      << app_->output();
  EXPECT_EQ(waitpid(next, nullptr, WNOHANG), 0) << "the start after the killed one ended";

  const pid_t third = app_->start_another({film(kOddName)}, "third-trace.txt");
  EXPECT_EQ(exit_status(third, 60), 0);
  EXPECT_TRUE(wait_for([&] {
    return read_file(app_->app_file("../next-trace.txt")).find("player put 1 " + film(kOddName)) != std::string::npos;
  }, 20)) << read_file(app_->app_file("../next-trace.txt"));
  EXPECT_TRUE(heads_local_list(film(kOddName))) << app_->file("date_f.dat");
  end_group(next);
}

}  // namespace
}  // namespace tav::test

int main(int argc, char** argv) {
  // The channel's lock and socket go to a runtime folder of the tests' own.
  tav::test::TempDir runtime;
  std::filesystem::permissions(runtime.str(), std::filesystem::perms::owner_all);
  setenv("XDG_RUNTIME_DIR", runtime.str().c_str(), 1);
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
