#include <gtest/gtest.h>

#include "headless_fixture.h"
#include "lists/list_pages.h"
#include "startup/version.h"

namespace tav {
namespace {

using Startup = test::HeadlessTest;

TEST_F(Startup, AFreshFolderGetsEveryFirstRunValue) {
  hp.adapters.set_only("00:1A:2B:3C:4D:5E");
  auto window = start();
  ASSERT_TRUE(window);
  EXPECT_EQ(dir.read("config.ini"),
            "[main]\r\nName=Tavori\r\n[User]\r\nName=00-1A-2B-3C-4D-5E\r\n[Skin]\r\nNum=1\r\n"
            "[Ver]\r\nName=" +
                std::string(program_version()) +
                "\r\n[S_q]\r\nts=3\r\nquit=2\r\nqvodk=2\r\ns_size=2\r\nh_w=14235\r\n"
                "h_h=7200\r\ns_h=2\r\ns_bo=2\r\ns_jd=2\r\nqvodqi=2\r\ns_pao=2\r\n");
  EXPECT_EQ(dir.read("date.dat"), "\r\n");
  EXPECT_EQ(dir.read("date_f.dat"), "\r\n");
  EXPECT_TRUE(dir.exists("c.htm"));
  EXPECT_TRUE(dir.exists("f.htm"));
  EXPECT_EQ(window->width(), 14235);
  EXPECT_EQ(window->height(), 7200);
  EXPECT_TRUE(window->visible());
}

TEST_F(Startup, AnEmptyConfigIsRepairedWithTheRepairValues) {
  dir.write("config.ini", "");
  hp.adapters.set_only("");
  hp.clock.set_time({2026, 1, 2, 3, 4, 5});
  hp.random.values = {0.0};
  ASSERT_TRUE(start());
  EXPECT_EQ(setting("User", "Name"), "202612345100");
  EXPECT_EQ(setting("Ver", "Name"), program_version());
  EXPECT_EQ(setting("S_q", "ts"), "3");
  EXPECT_EQ(setting("S_q", "h_w"), "13260");
  EXPECT_EQ(setting("S_q", "h_h"), "8790");
  for (const char* key : {"quit", "qvodk", "s_size", "s_h", "s_bo", "s_jd", "qvodqi", "s_pao"}) {
    EXPECT_EQ(setting("S_q", key), "2") << key;
  }
  EXPECT_EQ(setting("main", "Name"), "0");  // written on the first run only
  EXPECT_EQ(setting("Skin", "Num"), "0");
}

TEST_F(Startup, RepairsOnlyWhatIsOutOfRange) {
  ASSERT_TRUE(start());
  put_setting("S_q", "ts", "2");
  put_setting("S_q", "quit", "1");
  put_setting("S_q", "h_w", "20000");
  put_setting("User", "Name", "2011221953523");
  const std::string before = dir.read("config.ini");
  ASSERT_TRUE(start());
  EXPECT_EQ(dir.read("config.ini"), before);

  put_setting("S_q", "ts", "5");
  put_setting("S_q", "quit", "abc");
  put_setting("S_q", "h_h", "x");
  put_setting("Ver", "Name", "1.00");
  put_setting("User", "Name", "0");
  ASSERT_TRUE(start());
  EXPECT_EQ(setting("S_q", "ts"), "3");
  EXPECT_EQ(setting("S_q", "quit"), "2");
  EXPECT_EQ(setting("S_q", "h_h"), "8790");
  EXPECT_EQ(setting("Ver", "Name"), program_version());
  EXPECT_EQ(setting("User", "Name"), "00-16-3E-5A-00-01");
  EXPECT_EQ(setting("S_q", "h_w"), "20000");
}

// The first start after an update: config.ini holds the old program's
// version; the new program writes its own, and the version file naming it
// asks nothing.
TEST_F(Startup, AnUpdatedProgramWritesItsOwnVersionAndIsNotAskedAgain) {
  ASSERT_TRUE(start_program(pf(), config, "1.0"));
  EXPECT_EQ(setting("Ver", "Name"), "1.0");
  auto window = start_program(pf(), config, "1.1");
  ASSERT_TRUE(window);
  EXPECT_EQ(setting("Ver", "Name"), "1.1");
  EXPECT_EQ(window->installedVersion, "1.1");
  hp.http.reply(config.server_base + "lib/wen.txt", "0====0====0====1.1");
  hp.loop.advance(6000);
  EXPECT_TRUE(logged("fetch " + config.server_base + "lib/wen.txt"));
  EXPECT_FALSE(logged("msgbox"));
  window->shengji();
  EXPECT_TRUE(logged("text=\"你现在使用的是最新版本，无需升级！\""));
}

TEST_F(Startup, AMissingListIsCreatedAndAnExistingPageKept) {
  dir.write("c.htm", "old page");
  ASSERT_TRUE(start());
  EXPECT_EQ(dir.read("date.dat"), "\r\n");
  EXPECT_EQ(dir.read("c.htm"), "old page");
}

TEST_F(Startup, AMissingPageIsRenderedFromItsList) {
  dir.write("date.dat", gbk.from_utf8("7|天龙八部|第1集|a|1|0|0\r\n"));
  dir.write("date_f.dat", "\r\n");
  ASSERT_TRUE(start());
  const std::string page = gbk.to_utf8(dir.read("c.htm"));
  EXPECT_NE(page.find("href=open://1>天龙八部</a>"), std::string::npos);
  EXPECT_NE(gbk.to_utf8(dir.read("f.htm")).find(std::string(kEmptyListRow)), std::string::npos);
  EXPECT_EQ(gbk.to_utf8(dir.read("date.dat")), "7|天龙八部|第1集|a|1|0|0\r\n");
}

TEST_F(Startup, AnUnregisteredPlayerWithItsLibraryIsRegisteredInTheBackground) {
  hp.registry.registered.clear();
  std::filesystem::create_directory(dir.file("Qvod"));
  dir.write("Qvod/QvodInsert.dll", "library");
  ASSERT_TRUE(start());
  ASSERT_EQ(hp.shell.started.size(), 1u);
  EXPECT_EQ(hp.shell.started[0], "regsvr32 \"" + dir.file("Qvod/QvodInsert.dll") + "\" /s");
  EXPECT_TRUE(logged("style=2"));
  EXPECT_FALSE(logged("msgbox"));
}

TEST_F(Startup, AMissingPlayerAsksToDownloadAndEnds) {
  hp.registry.registered.clear();
  hp.dialogs.answers = {MsgAnswer::Yes};
  EXPECT_FALSE(start());
  EXPECT_TRUE(logged("msgbox title=\"提示：\" text=\"程序检测到您的电脑未安装快播(Qvod)播放器，"
                     "是否要下载Qvod播放器？\" buttons=YesNo icon=question -> Yes"));
  EXPECT_EQ(hp.shell.opened, std::vector<std::string>{config.vendor_home});
  EXPECT_FALSE(dir.exists("config.ini"));
  EXPECT_FALSE(dir.exists("date.dat"));

  hp.dialogs.answers = {MsgAnswer::No};
  EXPECT_FALSE(start());
  EXPECT_EQ(hp.shell.opened.size(), 1u);
  EXPECT_EQ(dir.entry_count(), 0u);
}

TEST_F(Startup, ASecondInstanceHandsOverAndEnds) {
  hp.instance.another = true;
  config.command_line = "\"D:\\Movies\\a.rmvb\"";
  EXPECT_FALSE(start());
  EXPECT_EQ(hp.instance.sent, std::vector<std::string>{"\"D:\\Movies\\a.rmvb\""});
  EXPECT_TRUE(logged("process end"));
  EXPECT_FALSE(logged("navigate"));
  EXPECT_FALSE(logged("tray add"));
  EXPECT_FALSE(logged("tj.asp"));
  EXPECT_TRUE(dir.exists("config.ini"));  // the start-up ran before the hand-off
}

}  // namespace
}  // namespace tav
