// The desktop's media controls on a private session bus: tavori under Xvfb
// offers itself as a media player, and requests over the bus act on the
// film that plays.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "desktop_fixture.h"

namespace tav::test {
namespace {

// A session bus of this test's own, with its address in the environment
// that the programs started from here inherit.
class PrivateBus {
 public:
  PrivateBus() {
    if (FILE* p = popen("dbus-daemon --session --fork --print-address=1 --print-pid=1", "r")) {
      char line[512];
      if (std::fgets(line, sizeof line, p)) address_ = trim(line);
      if (std::fgets(line, sizeof line, p)) pid_ = std::atoi(line);
      pclose(p);
    }
    if (const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS")) old_ = old, had_old_ = true;
    if (!address_.empty()) setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
  }
  ~PrivateBus() {
    if (pid_ > 0) kill(pid_, SIGTERM);
    if (had_old_) setenv("DBUS_SESSION_BUS_ADDRESS", old_.c_str(), 1);
    else unsetenv("DBUS_SESSION_BUS_ADDRESS");
  }
  bool ready() const { return !address_.empty() && pid_ > 0; }

 private:
  static std::string trim(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
  }
  std::string address_, old_;
  bool had_old_ = false;
  int pid_ = -1;
};

// dbus-send to the player's object; its output, with "FAILED" when it failed.
std::string send_to_player(const std::string& method, const std::string& args = "") {
  const std::string command =
      "dbus-send --session --print-reply --reply-timeout=5000 "
      "--dest=org.mpris.MediaPlayer2.tavori /org/mpris/MediaPlayer2 " + method + " " + args +
      " 2>&1 || echo FAILED";
  return command_output(command);
}

std::string player_property(const std::string& name) {
  return send_to_player("org.freedesktop.DBus.Properties.Get",
                        "string:org.mpris.MediaPlayer2.Player string:" + name);
}

class MediaControlsDesktop : public Desktop {};

TEST_F(MediaControlsDesktop, ThePlayerOnTheSessionBusPausesAndSeeksThePlayingFilm) {
  PrivateBus bus;
  ASSERT_TRUE(bus.ready()) << "dbus-daemon did not start";
  ASSERT_TRUE(start_server({"--follow", kFirstEpisode})) << server_->output();
  auto app = make_app();
  app->register_player();
  app->start();
  ASSERT_TRUE(app->wait_traced("zhun caption 播放中(", 60)) << app->trace() << app->output();

  // The film as the desktop sees it.
  bool playing = false;
  for (int i = 0; i < 20 && !playing; ++i) {
    playing = player_property("PlaybackStatus").find("\"Playing\"") != std::string::npos;
    if (!playing) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(playing) << player_property("PlaybackStatus");
  const std::string metadata = player_property("Metadata");
  EXPECT_NE(metadata.find("xesam:title"), std::string::npos) << metadata;
  EXPECT_NE(metadata.find("测试剧"), std::string::npos) << metadata;
  EXPECT_NE(metadata.find("mpris:length"), std::string::npos) << metadata;

  // Pause, as the pause button does, two seconds into the film.
  ASSERT_TRUE(app->wait_traced("times caption 00:02", 10)) << app->trace();
  const std::string paused = send_to_player("org.mpris.MediaPlayer2.Player.Pause");
  EXPECT_EQ(paused.find("FAILED"), std::string::npos) << paused;
  EXPECT_TRUE(app->wait_traced("zhun caption 已暂停", 10)) << app->trace();
  EXPECT_NE(player_property("PlaybackStatus").find("\"Paused\""), std::string::npos);

  // Seek back by a second, as the arrow keys do.
  const int puts_before = app->traced_count("player put 10 ");
  const std::string seek = send_to_player("org.mpris.MediaPlayer2.Player.Seek", "int64:-1000000");
  EXPECT_EQ(seek.find("FAILED"), std::string::npos) << seek;
  EXPECT_GT(app->traced_count("player put 10 "), puts_before) << app->trace();
  EXPECT_NE(app->last_traced("player put 10 "), "player put 10 0") << app->trace();

  // Play again.
  send_to_player("org.mpris.MediaPlayer2.Player.PlayPause");
  EXPECT_TRUE(app->wait_traced_after("zhun caption 已暂停", "zhun caption 正在播放", 10))
      << app->trace();
  EXPECT_TRUE(app->running());
}

TEST_F(MediaControlsDesktop, WithoutASessionBusTheProgramPlaysAsBefore) {
  const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const std::string kept = old ? old : "";
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
  ASSERT_TRUE(start_server({"--follow", kFirstEpisode})) << server_->output();
  auto app = make_app();
  app->register_player();
  app->start();
  const bool played = app->wait_traced("zhun caption 播放中(", 60);
  if (old) setenv("DBUS_SESSION_BUS_ADDRESS", kept.c_str(), 1);
  else unsetenv("DBUS_SESSION_BUS_ADDRESS");
  EXPECT_TRUE(played) << app->trace() << app->output();
  EXPECT_TRUE(app->running());
}

}  // namespace
}  // namespace tav::test
