// A second start's command line, l_com, the suite's processes at start and
// the exit sequence.
#include <gtest/gtest.h>

#include "base/text.h"
#include "headless_fixture.h"

namespace tav {
namespace {

class Instance : public test::HeadlessTest {
 protected:
  void SetUp() override {
    w = start();
    ASSERT_TRUE(w);
    hp.log.clear();
  }
  std::string local_list() { return gbk.to_utf8(dir.read("date_f.dat")); }
  std::unique_ptr<BA1> w;
};

TEST_F(Instance, AQuotedPathPlaysAndHeadsTheLocalFilms) {
  const std::string film = native("films/夜航/a.rmvb");
  hp.instance.deliver("\"" + film + "\"");
  EXPECT_TRUE(logged("player put 1 " + q(film)));
  EXPECT_TRUE(logged("player call 12"));
  EXPECT_EQ(w->bo_name.caption(), "a.rmvb");
  EXPECT_EQ(local_list(), "a.rmvb|" + film + "|0\r\n\r\n");
  EXPECT_EQ(w->itemKey, film);
  EXPECT_EQ(w->itemKind, 2);
  EXPECT_EQ(w->filmKey, "0");
  EXPECT_EQ(w->currentSection, 14);
  EXPECT_EQ(w->currentTab, 9);
  EXPECT_TRUE(w->Timer3.enabled());  // the suite's processes are checked again
  EXPECT_TRUE(w->Timer1.enabled());
}

TEST_F(Instance, OnlyTheLastOfTwoSlashesGoes) {
  hp.instance.deliver("http://m/film//");
  EXPECT_TRUE(logged("player put 1 \"http://m/film/\""));
  EXPECT_EQ(split_lines(local_list())[0], "|http://m/film/|0");
}

TEST_F(Instance, ATextWithoutAFolderGivesAnEmptyTitleAndNoRow) {
  w->l_com("film.mp4");
  EXPECT_EQ(w->bo_name.caption(), "");
  EXPECT_EQ(split_lines(local_list())[0], "|film.mp4|0");
  EXPECT_FALSE(contains(gbk.to_utf8(dir.read("f.htm")), "open://1"));
}

TEST_F(Instance, ASecondStartRestoresStopsAndPlaysTheNewFilm) {
  const std::string one = native("films/one.mp4"), two = native("films/two.mp4");
  hp.instance.deliver(one);
  hp.windows.player()->durations[native("films/")] = 600;
  hp.loop.advance(30000);
  w->set_window_state(WindowState::Minimized);
  hp.log.clear();
  hp.instance.deliver(two);
  EXPECT_EQ(w->window_state(), WindowState::Normal);
  EXPECT_TRUE(logged("player call 14"));
  const std::vector<std::string> lines = split_lines(local_list());
  EXPECT_EQ(lines[0], "two.mp4|" + two + "|0");
  EXPECT_TRUE(starts_with(lines[1], "one.mp4|" + one + "|")) << lines[1];
  EXPECT_NE(lines[1], "one.mp4|" + one + "|0");  // its position was stored
  EXPECT_TRUE(logged("player put 1 " + q(two)));
}

TEST_F(Instance, ASecondStartWithoutACommandLineOnlyBringsTheWindowBack) {
  w->set_window_state(WindowState::Minimized);
  hp.instance.deliver("");
  EXPECT_EQ(w->window_state(), WindowState::Normal);
  EXPECT_TRUE(w->visible());
  EXPECT_FALSE(logged("player"));
  EXPECT_FALSE(logged("file written"));
}

TEST_F(Instance, ASecondStartLeavesTheMiniModeAndKeepsAWebFilm) {
  w->webPlayMode = 1;
  w->miniMode = 1;
  hp.instance.deliver("/films/three.mp4");
  EXPECT_EQ(w->miniMode, 0);
  EXPECT_FALSE(logged("player call 14"));
  EXPECT_TRUE(logged("player put 1 \"/films/three.mp4\""));
}

TEST_F(Instance, AHostileCommandLineIsOneRecord) {
  const std::string huge(1 << 20, 'x');
  const std::string films = native("films/");
  hp.instance.deliver("\"" + films + "a|b\r\nc.mp4\"");
  hp.instance.deliver(kPathSeparator + huge);
  const std::vector<std::string> lines = split_lines(local_list());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 2 * huge.size() + 4);
  EXPECT_EQ(lines[1], "a%7Cb  c.mp4|" + films + "a|b  c.mp4|0");
}

TEST_F(Instance, AStartWithACommandLinePlaysIt) {
  const std::string film = native("films/first.mp4");
  config.command_line = "\"" + film + "\"";
  w = start();
  EXPECT_TRUE(logged("player put 1 " + q(film)));
  EXPECT_EQ(split_lines(local_list())[0], "first.mp4|" + film + "|0");
}

TEST_F(Instance, ASecondProcessHandsItsCommandLineOverAndEnds) {
  hp.instance.another = true;
  config.command_line = "\"/films/a b.mp4\"";
  auto second = start();
  EXPECT_TRUE(logged("instance withdraw"));
  EXPECT_TRUE(logged("instance send \"\\\"/films/a b.mp4\\\"\""));
  EXPECT_TRUE(logged("process end"));
  EXPECT_FALSE(logged("player put 1"));
}

// The suite's processes once after start.
class Housekeeping : public Instance {
 protected:
  void run() {
    hp.log.clear();
    w->Timer3_Timer();
  }
  void page_play_web() {
    w->Web1.page_navigation("eeqvod://web&&&http%3A//m/a.mp4&&&N&&&L&&&3&&&1&&&0");
    ASSERT_EQ(w->webPlayMode, 1);
  }
};

TEST_F(Housekeeping, NothingRunningStartsTheServiceFromNowhereAndWritesNothing) {
  run();
  EXPECT_TRUE(logged("start \"QvodTerminal.exe\" style=2"));
  EXPECT_TRUE(logged("tray sweep"));
  EXPECT_EQ(setting("S_q", "qvodw"), "0");
  EXPECT_FALSE(w->Timer3.enabled());
}

TEST_F(Housekeeping, AStandalonePlayerIsEndedAndItsFolderKept) {
  hp.processes.add("QvodPlayer.exe", "/opt/F/QvodPlayer.exe");
  run();
  EXPECT_TRUE(logged("terminate 1000 QvodPlayer.exe"));
  EXPECT_TRUE(logged("start \"/opt/F/QvodTerminal.exe\" style=2"));
  EXPECT_EQ(setting("S_q", "qvodw"), "/opt/F/");
  EXPECT_EQ(w->qvodDir, "/opt/F/");
}

TEST_F(Housekeeping, ARunningServiceIsLeftAndItsFolderKept) {
  hp.processes.add("QvodTerminal.exe", "/opt/G/QvodTerminal.exe");
  run();
  EXPECT_FALSE(logged("terminate"));
  EXPECT_FALSE(logged("start"));
  EXPECT_EQ(setting("S_q", "qvodw"), "/opt/G/");
}

TEST_F(Housekeeping, WholeNamesInAnyCaseAtStartPartsOfNamesAtExit) {
  hp.processes.add("MyQvodPlayer.exe", "/opt/H/MyQvodPlayer.exe");
  hp.processes.add("qvodplayer.EXE", "/opt/I/qvodplayer.EXE");
  run();
  EXPECT_TRUE(logged("terminate 1001 qvodplayer.EXE"));
  EXPECT_FALSE(logged("terminate 1000"));
  // At exit the search is a case-sensitive part of the name.
  put_setting("S_q", "qvodk", "2");
  hp.processes.add("qvodplayer.EXE", "/opt/I/qvodplayer.EXE");
  hp.log.clear();
  w->ttt_v();
  EXPECT_TRUE(logged("terminate 1000 MyQvodPlayer.exe"));
  EXPECT_FALSE(logged("qvodplayer.EXE"));
}

TEST_F(Housekeeping, TheSettingKeepsTheSuiteAlone) {
  put_setting("S_q", "qvodqi", "1");
  hp.processes.add("QvodPlayer.exe", "/opt/F/QvodPlayer.exe");
  run();
  EXPECT_FALSE(logged("terminate"));
  EXPECT_FALSE(logged("start"));
  EXPECT_FALSE(logged("tray sweep"));
  EXPECT_EQ(setting("S_q", "qvodw"), "0");
}

TEST_F(Housekeeping, TheExitEndsTheSuiteOnlyWhenAsked) {
  for (const char* qvodk : {"1", ""}) {
    w = start();
    if (*qvodk) put_setting("S_q", "qvodk", qvodk);
    else put_setting("S_q", "qvodk", "0");
    hp.processes.entries.clear();
    hp.processes.add("QvodPlayer.exe", "/opt/F/QvodPlayer.exe");
    hp.processes.add("QvodTerminal.exe", "/opt/F/QvodTerminal.exe");
    hp.log.clear();
    w->ttt_v();
    EXPECT_FALSE(logged("terminate")) << qvodk;
    EXPECT_FALSE(logged("tray sweep")) << qvodk;
    EXPECT_TRUE(logged("quit")) << qvodk;
  }
  w = start();
  put_setting("S_q", "qvodk", "2");
  hp.log.clear();
  w->ttt_v();
  EXPECT_TRUE(logged(" QvodPlayer.exe"));
  EXPECT_TRUE(logged(" QvodTerminal.exe"));
  EXPECT_EQ(logged_count("terminate "), 2u);
  EXPECT_TRUE(logged("tray sweep"));
}

TEST_F(Housekeeping, TheExitInWebPlayModeRecordsNothing) {
  page_play_web();
  hp.log.clear();
  w->ttt_v();
  EXPECT_FALSE(logged("player call 14"));
  EXPECT_FALSE(logged("file written date.dat"));
  EXPECT_TRUE(logged("quit"));
}

}  // namespace
}  // namespace tav
