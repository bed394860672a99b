// The settings dialog: its check boxes in config.ini and the player suite's
// download folder in the suite's own settings file.
#include <gtest/gtest.h>

#include <filesystem>

#include "forms/ba3.h"
#include "forms/tip.h"
#include "headless_fixture.h"

namespace tav {
namespace {

class SettingsDialog : public test::HeadlessTest {
 protected:
  void SetUp() override {
    w = start();
    ASSERT_TRUE(w);
    std::filesystem::create_directories(dir.file("suite"));
    suite = native("suite/");
    hp.log.clear();
  }
  BA3& open(int page = 1) {
    w->openSettings(page);
    return *w->ba3();
  }
  std::unique_ptr<BA1> w;
  std::string suite;
  const std::string xml = "<?xml version=\"1.0\"?>\n<QvodPlayer Defaultsavepath=\"C:\\Old\\\" "
                          "Seed=\"http://s/\">\n</QvodPlayer>";
};

TEST_F(SettingsDialog, OpensOnThePageAskedForInFrontOfTheMainWindow) {
  w->hide();
  w->tip().r_m.item("shezhi").click();
  ASSERT_NE(w->ba3(), nullptr);
  EXPECT_TRUE(w->visible());
  EXPECT_TRUE(w->ba3()->visible());
  EXPECT_TRUE(w->ba3()->p1(1).visible());
  EXPECT_FALSE(w->ba3()->p1(0).visible());
  EXPECT_EQ(w->ba3()->bb.caption(), "软件设置");
  EXPECT_EQ(w->ba3()->d_z(1).back_color(), kSystemHighlightColor);
  EXPECT_EQ(w->ba3()->d_z(0).back_color(), 0xFFFFFFu);
  EXPECT_EQ(w->ba3()->d_z(0).caption(), "\r\n关于软件");
  // Pinned on top: the About page opens and the window is pinned again.
  w->ba3()->cmdCancel.click();
  w->zhi_d(1);
  w->tip().r_m.item("about").click();
  EXPECT_TRUE(w->top_most());
  EXPECT_TRUE(w->ba3()->p1(0).visible());
  EXPECT_EQ(w->ba3()->bb.caption(), "关于软件");
}

TEST_F(SettingsDialog, BoxesAreTickedUnlessTheirValueIsOne) {
  dir.write("config.ini", "[main]\r\nName=Tavori\r\n");
  BA3& d = open();
  for (int i : {0, 1, 2, 3, 5, 6, 7, 8}) EXPECT_EQ(d.Check1(i).value(), 1) << i;
  d.cmdCancel.click();
  put_setting("S_q", "s_jd", "1");
  put_setting("S_q", "s_h", "abc");
  BA3& e = open();
  EXPECT_EQ(e.Check1(3).value(), 0);
  EXPECT_EQ(e.Check1(1).value(), 1);
  // Apply without changes writes the ticks back as 1 and 2.
  e.cmdApply.click();
  EXPECT_EQ(setting("S_q", "s_jd"), "1");
  EXPECT_EQ(setting("S_q", "s_h"), "2");
  EXPECT_EQ(setting("S_q", "qvodqi"), "2");
}

TEST_F(SettingsDialog, OkAfterOnlyCheckBoxesLeavesThePlayerFileAlone) {
  dir.write("suite/QvodPlayer.xml", xml);
  put_setting("S_q", "qvodw", suite);
  BA3& d = open();
  EXPECT_EQ(d.Text1.text(), "C:\\Old\\");
  d.Check1(8).set_value(0);
  hp.log.clear();
  d.cmdOK.click();
  EXPECT_EQ(setting("S_q", "s_pao"), "1");
  EXPECT_EQ(dir.read("suite/QvodPlayer.xml"), xml);
  EXPECT_FALSE(logged("msgbox"));
  EXPECT_EQ(w->ba3(), nullptr);
}

TEST_F(SettingsDialog, ANewFolderRewritesOnlyItsAttributeAndRestartsTheService) {
  dir.write("suite/QvodPlayer.xml", xml);
  put_setting("S_q", "qvodw", suite);
  hp.processes.add("QvodPlayer.exe", suite + "QvodPlayer.exe");
  hp.processes.add("qvodterminal.exe", suite + "qvodterminal.exe");
  hp.processes.add("MyQvodPlayer.exe", "/x/MyQvodPlayer.exe");
  BA3& d = open(1);
  d.d_z_Click(2);
  d.Text1.set_text("E:\\Films");
  hp.log.clear();
  d.cmdApply.click();
  EXPECT_TRUE(logged("terminate 1000 QvodPlayer.exe"));
  EXPECT_TRUE(logged("terminate 1001 qvodterminal.exe"));
  EXPECT_FALSE(logged("MyQvodPlayer.exe"));
  EXPECT_EQ(dir.read("suite/QvodPlayer.xml"),
            "<?xml version=\"1.0\"?>\n<QvodPlayer Defaultsavepath=\"E:\\Films\\\" "
            "Seed=\"http://s/\">\n</QvodPlayer>");
  EXPECT_TRUE(logged("start " + q(suite + "QvodTerminal.exe") + " style=2"));
  EXPECT_TRUE(logged("msgbox title=\"Tavori\" text=\"接受路径修改成功，可能部分电脑需要重启才能生效！\" buttons=OK"));
  EXPECT_EQ(d.savedPath, "E:\\Films\\");
  // Applying again without a change touches nothing.
  hp.log.clear();
  d.cmdApply.click();
  EXPECT_FALSE(logged("terminate"));
  EXPECT_FALSE(logged("msgbox"));
  // A folder of the platform's own (a POSIX one where it has them) gets the
  // platform's separator.
  const std::string home = kPathSeparator == '/' ? "/home/" : "F:\\";
  d.Text1.set_text(home + "user/影片");
  d.cmdApply.click();
  EXPECT_NE(gbk.to_utf8(dir.read("suite/QvodPlayer.xml"))
                .find("Defaultsavepath=\"" + home + "user/影片" + kPathSeparator + "\""),
            std::string::npos);
  // A quote in a folder's name stays inside the attribute: it adds none of
  // its own (a seed source, say), and the dialog shows the name again.
  const std::string odd = home + "x\" Seedsource=\"elsewhere & <y>";
  d.Text1.set_text(odd);
  d.cmdApply.click();
  const std::string written = dir.read("suite/QvodPlayer.xml");
  EXPECT_NE(written.find("Defaultsavepath=\"" + home + "x&quot; Seedsource=&quot;elsewhere &amp; &lt;y&gt;" +
                         kPathSeparator + "\" Seed=\"http://s/\">"),
            std::string::npos)
      << written;
  w->unload_ba3();
  BA3& again = open(1);
  EXPECT_EQ(again.Text1.text(), odd + kPathSeparator);
  EXPECT_EQ(w->downloadFolder(), odd + kPathSeparator);
}

TEST_F(SettingsDialog, AFolderWithoutADriveBecomesTheDefault) {
  dir.write("suite/QvodPlayer.xml", xml);
  put_setting("S_q", "qvodw", suite);
  BA3& d = open();
  d.Text1.set_text("Films");
  d.cmdApply.click();
  EXPECT_NE(dir.read("suite/QvodPlayer.xml").find("Defaultsavepath=\"D:\\Media\\\""),
            std::string::npos);
}

TEST_F(SettingsDialog, BrowseCancelledFallsBackToTheSavedFolder) {
  dir.write("suite/QvodPlayer.xml", xml);
  put_setting("S_q", "qvodw", suite);
  BA3& d = open();
  d.Text1.set_text("");
  hp.dialogs.folders.push_back("");
  d.Command1.click();
  EXPECT_TRUE(logged("请选择影片下载存放的文件夹"));
  EXPECT_EQ(d.Text1.text(), "C:\\Old\\");
  hp.dialogs.folders.push_back(native("films"));
  d.Command1.click();
  EXPECT_EQ(d.Text1.text(), native("films/"));
}

TEST_F(SettingsDialog, WithoutThePlayerFileTheBoxShowsTheDefaultAndNothingIsWritten) {
  BA3& d = open();
  EXPECT_EQ(d.Text1.text(), "D:\\Media\\");
  d.Text1.set_text("E:\\Films\\");
  d.cmdApply.click();
  EXPECT_TRUE(logged("没有找到快播(Qvod)的设置文件，下载路径未修改！"));
  EXPECT_FALSE(logged("接受路径修改成功"));
  EXPECT_FALSE(std::filesystem::exists(dir.file("0QvodPlayer.xml")));
  EXPECT_FALSE(std::filesystem::exists(suite + "QvodPlayer.xml"));
}

TEST_F(SettingsDialog, AnOddPlayerFileKeepsEveryOtherByte) {
  // LF line ends, bytes that are no text, the marker twice.
  const std::string head("a\n\xFF\xFE\x80");
  const std::string odd = head + " Defaultsavepath=\"X\" Defaultsavepath=\"X\" end";
  dir.write("suite/QvodPlayer.xml", odd);
  put_setting("S_q", "qvodw", suite);
  BA3& d = open();
  EXPECT_EQ(d.Text1.text(), "X");
  d.Text1.set_text("E:\\F\\");
  d.cmdApply.click();
  EXPECT_EQ(dir.read("suite/QvodPlayer.xml"),
            head + " Defaultsavepath=\"E:\\F\\\" Defaultsavepath=\"E:\\F\\\" end");
  // A read-only suite folder: the file stays, no crash.
  hp.faulty_files.read_only = true;
  d.Text1.set_text("E:\\G\\");
  d.cmdApply.click();
  EXPECT_NE(dir.read("suite/QvodPlayer.xml").find("E:\\F\\"), std::string::npos);
}

}  // namespace
}  // namespace tav
