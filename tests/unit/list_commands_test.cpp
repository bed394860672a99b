// The list panel's commands and the list context menu, on real list files.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/text.h"
#include "forms/tip.h"
#include "headless_fixture.h"

namespace tav {
namespace {

class ListCommands : public test::HeadlessTest {
 protected:
  void SetUp() override {
    w = start();
    ASSERT_TRUE(w);
    hp.log.clear();
  }
  bool page_navigates(Browser& panel, const std::string& url) { return !panel.page_navigation(url); }
  void set_list(const std::string& name, const std::string& text) {
    dir.write(name, gbk.from_utf8(text));
  }
  std::string list(const std::string& name) { return gbk.to_utf8(dir.read(name)); }
  void show_local_films() { w->npc_Click(14); }
  void show_history() { w->npc_Click(13); }
  // A suite in a folder of its own, downloading into `downloads`.
  std::string suite_with_downloads() {
    std::filesystem::create_directories(dir.file("suite"));
    std::filesystem::create_directories(dir.file("downloads"));
    const std::string downloads = native("downloads/");
    dir.write("suite/QvodPlayer.xml",
              "<?xml version=\"1.0\"?>\r\n<QvodPlayer\r\n Defaultsavepath=\"" + downloads +
                  "\" Other=\"1\"/>\r\n");
    put_setting("S_q", "qvodw", native("suite/"));
    return downloads;
  }
  std::unique_ptr<BA1> w;
};

constexpr const char* kHistory =
    "12|天龙八部|第1集|qvod%3A//100%7CABC%7Cabcdef.rmvb%7C|1|0|300\r\n"
    "7|小楼|第2集|http%3A//m/x.mp4|2|1|40\r\n"
    "9|Film|第3集|qvod%3A//100%7CDEF%7Cabcd.mp4%7C|1|2|0\r\n";

TEST_F(ListCommands, ADeleteCommandRemovesThatLineOfTheCurrentList) {
  set_list("date.dat", kHistory);
  set_list("date_f.dat", "a|/f/a.mp4|0\r\nb|/f/b.mp4|0\r\nc|/f/c.mp4|0\r\n");
  show_history();
  EXPECT_TRUE(page_navigates(w->Web3, "delk://3/"));
  EXPECT_EQ(split_lines(list("date.dat")).size(), 2u);
  EXPECT_TRUE(contains(list("date.dat"), "小楼"));
  EXPECT_FALSE(contains(list("date.dat"), "Film"));
  EXPECT_TRUE(logged("refresh Web3"));
  show_local_films();
  EXPECT_TRUE(page_navigates(w->Web3, "delk://2"));
  EXPECT_EQ(list("date_f.dat"), "a|/f/a.mp4|0\r\nc|/f/c.mp4|0\r\n");
  // The local-films panel hands its commands to the list panel.
  EXPECT_TRUE(page_navigates(w->Web5, "delk://1/"));
  EXPECT_EQ(list("date_f.dat"), "c|/f/c.mp4|0\r\n");
  // A number that is no number deletes nothing; other addresses go on.
  EXPECT_TRUE(page_navigates(w->Web3, "delk://x1"));
  EXPECT_TRUE(page_navigates(w->Web3, "delk://"));
  EXPECT_EQ(list("date_f.dat"), "c|/f/c.mp4|0\r\n");
  EXPECT_FALSE(page_navigates(w->Web3, "file:///x/c.htm"));
}

TEST_F(ListCommands, APlayCommandPlaysLineTwoOfTheListOfTheSection) {
  set_list("date.dat", kHistory);
  dir.write("b.mp4", "x");
  set_list("date_f.dat", "a|" + dir.file("none.mp4") + "|0\r\nb%7C2|" + dir.file("b.mp4") +
                             "|75\r\n");
  show_local_films();
  EXPECT_TRUE(page_navigates(w->Web3, "open://2/"));
  EXPECT_TRUE(logged("player put 1 " + q(dir.file("b.mp4"))));
  EXPECT_EQ(w->bo_name.caption(), "b|2");
  EXPECT_EQ(w->resumePos, 75);
  EXPECT_EQ(w->filmKey, "0");
  EXPECT_EQ(w->itemKey, dir.file("b.mp4"));
  EXPECT_EQ(w->itemKind, 2);
  EXPECT_TRUE(w->qvod.visible());
  EXPECT_TRUE(logged("navigate Web2 about:blank"));

  show_history();
  hp.log.clear();
  EXPECT_TRUE(page_navigates(w->Web3, "open://1"));
  EXPECT_TRUE(logged("player call 14"));  // the film before was stopped
  EXPECT_TRUE(logged("player put 1 \"qvod://100|ABC|abcdef.rmvb|\""));
  EXPECT_EQ(w->bo_name.caption(), "天龙八部-第1集");
  EXPECT_EQ(w->resumePos, 300);
  EXPECT_EQ(w->resumeDone, 0);
  EXPECT_EQ(w->filmKey, "12-1-0-天龙八部");
  EXPECT_EQ(w->itemKey, "12");
  EXPECT_EQ(w->itemKind, 1);
  EXPECT_EQ(w->currentSection, 12);
  EXPECT_TRUE(logged("navigate Web4 " + config.server_base + "pp.htm?12-1-0-天龙八部-0"));

  // An entry that is no QVOD address only loads its episode page.
  hp.log.clear();
  EXPECT_TRUE(page_navigates(w->Web3, "open://2"));
  EXPECT_EQ(w->webPlayMode, 1);
  EXPECT_EQ(w->itemKey, "0");
  EXPECT_EQ(w->filmKey, "12-1-0-天龙八部");
  EXPECT_TRUE(logged("navigate Web4 " + config.server_base + "pp.htm?7-2-1-小楼-21"));
  EXPECT_FALSE(logged("player put 1"));
  EXPECT_FALSE(w->qvod.visible());
  EXPECT_TRUE(w->Pic2.visible());
}

TEST_F(ListCommands, APlayedHistoryEntryResumesAtItsPositionOnce) {
  set_list("date.dat", kHistory);
  show_history();
  page_navigates(w->Web3, "open://1");
  hp.windows.player()->durations["qvod://100"] = 1200;
  hp.loop.advance(3000);
  EXPECT_EQ(logged_count("player put 10 \"300\""), 1u);
}

TEST_F(ListCommands, AVanishedLocalFilmIsReportedAndRemoved) {
  set_list("date_f.dat", "a|" + dir.file("gone.mp4") + "|10\r\nb|/f/b.mp4|0\r\n");
  show_local_films();
  hp.dialogs.answers.push_back(MsgAnswer::Ok);
  EXPECT_TRUE(page_navigates(w->Web3, "open://1"));
  EXPECT_TRUE(logged("msgbox title=\"提示：\" text=" + q(dir.file("gone.mp4") + "不存在")));
  EXPECT_EQ(list("date_f.dat"), "b|/f/b.mp4|0\r\n");
  EXPECT_FALSE(logged("player put 1"));
}

TEST_F(ListCommands, CommandsForLinesTheListDoesNotHavePlayNothing) {
  set_list("date.dat", "\r\n5|x\r\nnot a record\r\n");
  show_history();
  for (const char* url : {"open://9", "open://0", "open://-1", "open://abc", "open://",
                          "open://2", "open://3", "open://99999999999"}) {
    hp.log.clear();
    EXPECT_TRUE(page_navigates(w->Web3, url)) << url;
    EXPECT_FALSE(logged("player")) << url;
  }
  // A record with too few fields plays what it has.
  set_list("date.dat", "5|短\r\n");
  EXPECT_TRUE(page_navigates(w->Web3, "open://1"));
  EXPECT_TRUE(logged("navigate Web4 " + config.server_base + "pp.htm?5--"));
  // A missing list file plays nothing either.
  std::filesystem::remove(dir.file("date.dat"));
  hp.log.clear();
  EXPECT_TRUE(page_navigates(w->Web3, "open://1"));
  EXPECT_FALSE(logged("player"));
}

TEST_F(ListCommands, TheListMenuWorksOnTheEntryRightClickedLast) {
  set_list("date.dat", kHistory);
  show_history();
  Menu& webc = w->tip().webc;
  // Empty space: the entry items are disabled, the menu still opens.
  w->Web3.set_hooked(true);
  EXPECT_FALSE(w->Web3.context_menu(""));
  EXPECT_TRUE(logged("popup webc"));
  EXPECT_FALSE(webc.item("c_f").enabled);
  EXPECT_FALSE(webc.item("c_shan").enabled);
  EXPECT_FALSE(webc.item("c_shan2").enabled);
  EXPECT_TRUE(webc.item("renwub").enabled);
  // An entry, then "删除选中"; then a second entry.
  w->Web3.context_menu("open://3");
  EXPECT_TRUE(webc.item("c_shan").enabled);
  webc.item("c_shan").click();
  EXPECT_FALSE(contains(list("date.dat"), "Film"));
  w->Web3.context_menu("open://1");
  webc.item("c_shan").click();
  EXPECT_EQ(split_lines(list("date.dat")), std::vector<std::string>{"7|小楼|第2集|http%3A//m/x.mp4|2|1|40"});
  // "播放选中" plays the entry under the menu.
  w->Web3.context_menu("open://1/");
  webc.item("c_f").click();
  EXPECT_TRUE(logged("pp.htm?7-2-1-小楼-21"));
  // Empty space keeps the last entry.
  w->Web3.context_menu("javascript:void(0)");
  EXPECT_EQ(w->menuLink, "open://1/");
}

TEST_F(ListCommands, DeleteDownloadsFindsFilesByHalfTheStem) {
  const std::string downloads = suite_with_downloads();
  for (const char* name : {"abcdef.rmvb", "abc.part", "abx.rmvb", "abcd.mp4", "abcd", "xabcd.mp4",
                           "ABCxyz.rmvb"})
    dir.write("downloads/" + std::string(name), "data");
  set_list("date.dat", kHistory);
  show_history();
  // Six letters: the first three of the stem; answered Yes.
  w->menuLink = "open://1";
  hp.dialogs.answers.push_back(MsgAnswer::Yes);
  w->eee();
  const std::string question = q("确定要删除 [" + downloads + "] 下面的这些文件吗？\r\n\r\n");
  EXPECT_TRUE(logged("msgbox title=\"提示：\" text=" + question.substr(0, question.size() - 1)));
  EXPECT_FALSE(dir.exists("downloads/abcdef.rmvb"));
  EXPECT_FALSE(dir.exists("downloads/abc.part"));
  EXPECT_FALSE(dir.exists("downloads/abcd.mp4"));
  EXPECT_TRUE(dir.exists("downloads/abx.rmvb"));
  EXPECT_TRUE(dir.exists("downloads/ABCxyz.rmvb"));  // case-sensitive, also where names are not
  EXPECT_FALSE(contains(list("date.dat"), "天龙八部"));  // the entry goes too
}

TEST_F(ListCommands, DeleteDownloadsWithAShortStemAndAnsweredNo) {
  const std::string downloads = suite_with_downloads();
  for (const char* name : {"abcd.mp4", "abcde.mp4", "abc.mp4"})
    dir.write("downloads/" + std::string(name), "data");
  set_list("date.dat", kHistory);
  show_history();
  // Four letters (half is 2): the whole stem. No: the folder opens and the
  // entry is removed all the same.
  w->menuLink = "open://3/";
  hp.dialogs.answers.push_back(MsgAnswer::No);
  w->eee();
  EXPECT_TRUE(logged("abcd.mp4\\r\\nabcde.mp4\\r\\n\"") || logged("abcde.mp4\\r\\nabcd.mp4\\r\\n\""));
  EXPECT_FALSE(logged("abc.mp4\\r\\n"));
  EXPECT_TRUE(logged("shell-open " + q(downloads) + " verb=explore"));
  EXPECT_TRUE(dir.exists("downloads/abcd.mp4"));
  EXPECT_FALSE(contains(list("date.dat"), "Film"));
}

TEST_F(ListCommands, DeleteDownloadsThatCannotBeDeletedSaySo) {
  suite_with_downloads();
  dir.write("downloads/abcdef.rmvb", "data");
  set_list("date.dat", kHistory);
  w->menuLink = "open://1";
  hp.dialogs.answers.push_back(MsgAnswer::Yes);
  hp.faulty_files.read_only = true;
  w->eee();
  EXPECT_TRUE(logged("balloon title=\"Tavori提示:\" text=\"部分文件可能正在使用中，未删除成功！请手动删除！\""));
  EXPECT_TRUE(dir.exists("downloads/abcdef.rmvb"));
  EXPECT_TRUE(contains(list("date.dat"), "天龙八部"));  // the list could not be written either
}

TEST_F(ListCommands, DeleteDownloadsWithoutAFolderOrAnAddressOnlyDeletesTheEntry) {
  set_list("date.dat", kHistory);
  show_history();
  // No player settings file: no question.
  w->menuLink = "open://1";
  w->eee();
  EXPECT_FALSE(logged("msgbox"));
  EXPECT_FALSE(contains(list("date.dat"), "天龙八部"));
  // A download folder that is missing: no question either.
  suite_with_downloads();
  std::filesystem::remove_all(dir.file("downloads"));
  w->menuLink = "open://2";  // now 9|Film, a QVOD address
  w->eee();
  EXPECT_FALSE(logged("msgbox"));
  EXPECT_EQ(split_lines(list("date.dat")).size(), 1u);
  // Nothing selected yet: nothing at all.
  w->menuLink = "";
  hp.log.clear();
  w->eee();
  EXPECT_FALSE(logged("file written"));
}

TEST_F(ListCommands, ClearingAListAsksAboutTheListOfTheSection) {
  set_list("date.dat", kHistory);
  set_list("date_f.dat", "a|/f/a.mp4|0\r\n");
  show_local_films();
  hp.dialogs.answers.push_back(MsgAnswer::Yes);
  w->tip().webc.item("renwub").click();
  EXPECT_TRUE(logged("text=\"确定要删除全部[本机影片]列表吗？\""));
  EXPECT_EQ(list("date_f.dat"), "\r\n");
  EXPECT_EQ(list("date.dat"), kHistory);
  show_history();
  hp.dialogs.answers.push_back(MsgAnswer::No);
  w->tip().c_fie.item("renwubb").click();
  EXPECT_TRUE(logged("text=\"确定要删除全部[历史观看]列表吗？\""));
  EXPECT_EQ(list("date.dat"), kHistory);
  hp.dialogs.answers.push_back(MsgAnswer::Yes);
  w->tip().webc.item("renwub").click();
  EXPECT_EQ(list("date.dat"), "\r\n");
  // A missing list stays missing.
  std::filesystem::remove(dir.file("date.dat"));
  hp.dialogs.answers.push_back(MsgAnswer::Yes);
  w->qk_xl();
  EXPECT_FALSE(dir.exists("date.dat"));
}

TEST_F(ListCommands, TheLabelQkActsByItsCaption) {
  show_history();
  w->qk_Click();
  EXPECT_TRUE(logged("popup c_fie"));
  w->npc_Click(12);
  w->qk_Click();
  EXPECT_EQ(w->currentTab, 8);
  EXPECT_EQ(w->qk.fore_color(), kSystemWindowColor);
}

TEST_F(ListCommands, ManageDownloadsOpensTheFolderOnlyWhenItHoldsFiles) {
  // Without the player's settings file the folder is C:\Media\, which has
  // no files here: nothing opens.
  w->qk_xw();
  EXPECT_FALSE(logged("shell-open"));
  w->qvodDir.clear();  // as after a new start: read from the settings again
  const std::string downloads = suite_with_downloads();
  w->qk_xw();
  EXPECT_FALSE(logged("shell-open"));  // an empty folder
  dir.write("downloads/a.mp4", "x");
  w->npc_Click(5);  // pinned on top
  ASSERT_EQ(w->npc(5).tooltip(), "取消置顶");
  w->tip().c_fie.item("wenjianb").click();
  EXPECT_TRUE(logged("shell-open " + q(downloads) + " verb=explore"));
  EXPECT_NE(w->npc(5).tooltip(), "取消置顶");
}

TEST_F(ListCommands, TheLibraryMenuActsOnTheLibraryPanel) {
  Menu& my = w->tip().myMenu;
  w->Web1.set_hooked(true);
  EXPECT_FALSE(w->Web1.context_menu("http://x/"));
  EXPECT_TRUE(logged("popup myMenu"));
  // Back and forward without a history do nothing, and say nothing.
  my.item("ht").click();
  my.item("qj").click();
  EXPECT_FALSE(logged("back Web1"));
  w->Web1.navigate(config.server_base + "page2.htm");
  my.item("ht").click();
  EXPECT_TRUE(logged("back Web1 " + config.server_base));
  my.item("qj").click();
  EXPECT_TRUE(logged("forward Web1 " + config.server_base + "page2.htm"));
  for (const char* item : {"sx", "fz", "zt"}) my.item(item).click();
  EXPECT_TRUE(logged("refresh Web1"));
  EXPECT_TRUE(logged("copy Web1"));
  EXPECT_TRUE(logged("paste Web1"));
}

TEST_F(ListCommands, PanelEventsKeepPagesSilentAndTheLibraryVisible) {
  for (Browser* b : {&w->Web1, &w->Web2, &w->Web3, &w->Web4, &w->Web5, &w->Web6, &w->Web7,
                     &w->Webz2, &w->Webz3}) {
    b->download_begin();
    EXPECT_TRUE(b->silent()) << b->name();
  }
  w->Web1.download_complete();
  EXPECT_TRUE(w->Pic1.visible());
  // A frame of another host failing inside the library page.
  w->Web1.navigate_error("http://ads.example.invalid/frame.htm", 404);
  EXPECT_TRUE(w->Pic1.visible());
  EXPECT_EQ(w->libraryFailed, 0);
  w->Web1.navigate_error(config.server_base + "page2.htm", 500);
  EXPECT_FALSE(w->Pic1.visible());
  EXPECT_TRUE(w->jia1.visible());
  EXPECT_EQ(w->libraryFailed, 1);
  w->Web1.download_complete();
  EXPECT_FALSE(w->Pic1.visible());  // libraryFailed is never cleared
  // Panels that are not hooked keep the browser's own menu.
  for (Browser* b : {&w->Web2, &w->Web5, &w->Web6, &w->Web7}) EXPECT_TRUE(b->context_menu(""));
  EXPECT_FALSE(logged("msgbox"));
}

}  // namespace
}  // namespace tav
