// The browser panels in tavori under Xvfb: the list pages the program writes
// in the code page, right clicks on hooked and unhooked documents, and the
// page shown where the content server cannot be reached. What a page shows
// is read back from the page itself through the trace.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "desktop_fixture.h"
#include "platform/posix/iconv_code_page.h"
#include "web/text_routines.h"

namespace tav::test {
namespace {

std::string gbk(const std::string& utf8) { return IconvCodePage().from_utf8(utf8); }

// Where the window's controls stand (the window at the top-left corner).
constexpr int kListTabX = 587, kListTabY = 459;        // 列表
constexpr int kHotTabX = 748, kHotTabY = 459;          // 热播
constexpr int kLocalFilmsX = 526, kLocalFilmsY = 171;  // 本机影片
constexpr int kTaskLabelX = 890, kTaskLabelY = 48;     // qk: 管理任务 or 清空列表

// Three watched series; the first name alone is short enough for a charset
// guess to take it for Latin-1.
const char* const kHistory =
    "1|山海长歌|第1集|qvod%3A//1%7CAA%7Cshanhai-01.mp4%7C|1|0|35\r\n"
    "2|K-城迷案|第2集|qvod%3A//1%7CBB%7Ckcity-02.mp4%7C|1|1|0\r\n"
    "3|长安十二时辰|第3集|qvod%3A//1%7CCC%7Cchangan-03.mp4%7C|1|2|0\r\n";
const char* const kLocalFilms = "夜航西飞|/films/yehang.mp4|0\r\n";

class Panels : public Desktop {
 protected:
  // The address the server gives for episode e (from 0) of series 1.
  std::string episode_address(int e) const {
    const RawReply reply =
        raw_get(server_->port(), "/box/h.asp?id=1&v=1&v1=" + std::to_string(e));
    const std::size_t a = reply.body.find('$');
    const std::size_t b = reply.body.find('$', a + 1);
    EXPECT_NE(b, std::string::npos) << reply.body;
    return b == std::string::npos ? std::string() : reply.body.substr(a + 1, b - a - 1);
  }
  // A history record of series 1 as the program writes it.
  static std::string history_record(const std::string& name, int e, const std::string& address,
                                    int position) {
    return "1|" + name + "|第" + std::to_string(e + 1) + "集|" + urlEscape(address) + "|1|" +
           std::to_string(e) + "|" + std::to_string(position) + "\r\n";
  }
  // The player suite's folder in the settings, as the settings dialog
  // keeps it; the window at the size of a first start.
  static void set_suite_folder(const DesktopApp& app) {
    app.write_app_file("config.ini", "[S_q]\r\ns_size=2\r\nh_w=14235\r\nh_h=7200\r\nqvodw=" +
                                         app.app_file("Qvod/") + "\r\n");
  }
  // Starts tavori with the lists and waits for the history page.
  std::unique_ptr<DesktopApp> start_with_lists() {
    auto app = make_app();
    app->write_app_file("date.dat", gbk(kHistory));
    app->write_app_file("date_f.dat", gbk(kLocalFilms));
    app->start();
    EXPECT_TRUE(app->wait_traced("BA1 shown", 60)) << app->output();
    EXPECT_TRUE(app->wait_traced("page Web3 ", 60)) << app->trace();
    return app;
  }
  // Shows the list section and waits until the history page stands there.
  static std::string show_history(const DesktopApp& app) {
    EXPECT_TRUE(app.click_until(kListTabX, kListTabY, "zz1 shown")) << app.trace();
    return app.wait_last("page Web3 ", "open://1", 30);
  }
};

TEST_F(Panels, ListPagesShowTheirChineseNamesAsThePanelReadsThem) {
  ASSERT_TRUE(start_server()) << server_->output();
  auto app = start_with_lists();
  // The pages on disk are in the code page, without a charset of their own.
  EXPECT_NE(app->file("c.htm").find(gbk("山海长歌")), std::string::npos);
  EXPECT_EQ(app->file("c.htm").find("charset"), std::string::npos);

  const std::string history = show_history(*app);
  EXPECT_EQ(history.find("page Web3 at "), 0u) << history;
  const std::string text = page_text(history);
  EXPECT_EQ(text.rfind("GBK | ", 0), 0u) << history;
  for (const char* shown : {"1 山海长歌", "2 K-城迷案", "3 长安十二时辰"})
    EXPECT_NE(text.find(shown), std::string::npos) << shown << " in " << history;
  // Read as Latin-1, the names would come out as letters like "É½º£"
  // (U+00C0 to U+00FF start with the byte C3 in UTF-8).
  EXPECT_EQ(text.find('\xC3'), std::string::npos) << history;
  // The placeholder the program writes into the episode panel itself.
  const std::string placeholder = app->wait_last("page Web4 ", "没有正在播放的网络影片", 20);
  EXPECT_NE(page_text(placeholder).find("没有正在播放的网络影片"), std::string::npos) << app->trace();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  app->screenshot("history-page");

  const std::string local = app->wait_last("page Web5 ", "open://1", 30);
  EXPECT_EQ(page_text(local).rfind("GBK | ", 0), 0u) << local;
  EXPECT_NE(page_text(local).find("1 夜航西飞"), std::string::npos) << local;
  EXPECT_TRUE(app->click_until(kLocalFilmsX, kLocalFilmsY, "s3 shown")) << app->trace();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  app->screenshot("local-films-page");
}

TEST_F(Panels, OnlyTheServersPagesAndTheProgramsOwnCommandNeitherTheirFramesNorPagesElsewhere) {
  ASSERT_TRUE(start_server()) << server_->output();
  auto app = make_app();
  app->write_app_file("date.dat", gbk(kHistory));
  app->write_app_file("date_f.dat", "a|/films/a.mp4|0\r\nb|/films/b.mp4|0\r\n");
  // A page elsewhere on the machine: it forges the report of a link, goes
  // to a command by script and asks for windows without end.
  const std::string elsewhere = app->app_file("../elsewhere/page.html");
  std::filesystem::create_directories(std::filesystem::path(elsewhere).parent_path());
  std::ofstream(elsewhere) << "<html><body><p>PAGE ELSEWHERE</p><a href=\"open://2\">two</a><script>"
                              "console.log('\\u0001tavori-navigate\\u0001open://2');"
                              "setTimeout(function () { location.href = 'open://2'; }, 300);"
                              "setInterval(function () { window.open('http://127.0.0.1:9/popup'); }, 200);"
                              "</script></body></html>";
  // The local-film page, with a frame of another origin that goes to a
  // command at once, and a link to the page elsewhere.
  app->write_app_file("f.htm", "<html><body><a href=\"file://" + elsewhere +
                                   "\">elsewhere</a><iframe src=\"data:text/html,%3Cscript%3Elocation.href"
                                   "%3D%27open://2%27%3C/script%3E\"></iframe></body></html>");
  const std::string opened = app->app_file("opened.txt");
  app->write_app_file("xdg-open", "#!/bin/sh\necho \"$@\" >> '" + opened + "'\n");
  std::filesystem::permissions(app->app_file("xdg-open"), std::filesystem::perms::owner_all);
  app->start();
  ASSERT_TRUE(app->wait_traced("BA1 shown", 60)) << app->output();
  ASSERT_FALSE(app->wait_last("page Web5 ", "elsewhere", 60).empty()) << app->trace();

  // The program's own page commands: a click on the history page plays.
  const auto history_entry = link_box(show_history(*app), "open://1");
  ASSERT_TRUE(history_entry) << app->trace();
  app->click(history_entry->cx(), history_entry->cy());
  EXPECT_TRUE(app->wait_traced("player put 1 qvod://", 20)) << app->trace();

  // On to the page elsewhere, whose command link the user clicks too.
  ASSERT_TRUE(app->click_until(kLocalFilmsX, kLocalFilmsY, "s3 shown")) << app->trace();
  const auto to_elsewhere = link_box(app->wait_last("page Web5 ", "elsewhere", 20), "file://" + elsewhere);
  ASSERT_TRUE(to_elsewhere) << app->trace();
  app->click(to_elsewhere->cx(), to_elsewhere->cy());
  const auto command = link_box(app->wait_last("page Web5 ", "PAGE ELSEWHERE", 20), "open://2");
  ASSERT_TRUE(command) << app->trace();
  app->click(command->cx(), command->cy());
  std::this_thread::sleep_for(std::chrono::seconds(3));
  EXPECT_FALSE(app->traced("/films/b.mp4")) << app->trace();
  EXPECT_EQ(read_file(opened), "");
}

TEST_F(Panels, AListPageTooLargeToHandOverInOnePieceIsStillShown) {
  ASSERT_TRUE(start_server()) << server_->output();
  auto app = make_app();
  // A page of an older installation, megabytes of comments around a name.
  const std::string padding = "<!--" + std::string(3 * 1024 * 1024, 'x') + "-->";
  app->write_app_file("f.htm", "<html><body>" + padding + "<p>Old films</p>" + padding + "</body></html>");
  app->start();
  ASSERT_TRUE(app->wait_traced("BA1 shown", 60)) << app->output();
  const std::string local = app->wait_last("page Web5 ", "Old films", 60);
  EXPECT_NE(local.find("Old films"), std::string::npos) << app->trace();
}

TEST_F(Panels, RightClicksOnTheHistoryPageOpenTheListMenuForTheEntryUnderThePointer) {
  ASSERT_TRUE(start_server()) << server_->output();
  auto app = start_with_lists();
  const std::string page = show_history(*app);
  const auto entry = link_box(page, "open://2");
  ASSERT_TRUE(entry) << page;

  // On the name of an entry (the text inside its link): every item enabled.
  app->right_click(entry->cx(), entry->cy());
  std::string menu = app->wait_last("menu webc", "shown", 10);
  for (const char* caption : {"播放选中", "删除选中", "删除下载", "删除列表记录"}) {
    const auto item = menu_item(menu, caption);
    ASSERT_TRUE(item) << caption << " in " << menu;
    EXPECT_TRUE(item->enabled) << caption << " in " << menu;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  app->screenshot("history-menu");
  app->key("Escape");
  ASSERT_TRUE(app->wait_traced("menu webc closed", 10)) << app->trace();

  // Below the entries: the entry's items disabled, the list's own kept.
  app->right_click(entry->cx(), entry->y + 200);
  ASSERT_TRUE(app->wait_traced_after("menu webc closed", "menu webc shown", 10)) << app->trace();
  menu = app->last_traced("menu webc shown");
  for (const char* caption : {"播放选中", "删除选中", "删除下载"}) {
    const auto item = menu_item(menu, caption);
    ASSERT_TRUE(item) << caption << " in " << menu;
    EXPECT_FALSE(item->enabled) << caption << " in " << menu;
  }
  ASSERT_TRUE(menu_item(menu, "删除列表记录"));
  EXPECT_TRUE(menu_item(menu, "删除列表记录")->enabled) << menu;
  app->key("Escape");
  // The engine's own menu never showed on the hooked page.
  EXPECT_FALSE(app->traced("menu Web3 engine")) << app->trace();
}

TEST_F(Panels, DeleteSelectedRemovesTheEntryFromTheListAndFromThePage) {
  ASSERT_TRUE(start_server()) << server_->output();
  auto app = start_with_lists();
  const std::string page = show_history(*app);
  const auto entry = link_box(page, "open://2");
  ASSERT_TRUE(entry) << page;

  app->right_click(entry->cx(), entry->cy());
  const std::string menu = app->wait_last("menu webc", "shown", 10);
  const auto remove = menu_item(menu, "删除选中");
  ASSERT_TRUE(remove && remove->enabled) << menu;
  app->click(remove->box.cx(), remove->box.cy());
  ASSERT_TRUE(app->wait_traced("menu webc chose c_shan", 10)) << app->trace();

  // Gone from the list file, the others kept in their order.
  EXPECT_TRUE(wait_for([&] { return app->file("date.dat").find(gbk("K-城迷案")) == std::string::npos; }, 10))
      << app->file("date.dat");
  const std::string list = app->file("date.dat");
  EXPECT_NE(list.find(gbk("山海长歌")), std::string::npos);
  EXPECT_LT(list.find(gbk("山海长歌")), list.find(gbk("长安十二时辰")));
  // And from the page the panel shows now, still read in the code page.
  const std::string shown = app->wait_last("page Web3 ", "2 长安十二时辰", 20);
  EXPECT_NE(page_text(shown).find("2 长安十二时辰"), std::string::npos) << app->trace();
  EXPECT_EQ(page_text(shown).find("K-城迷案"), std::string::npos) << shown;
  EXPECT_EQ(page_text(shown).rfind("GBK | ", 0), 0u) << shown;
}

TEST_F(Panels, AListPageShownAnewKeepsWhereItWasScrolledTo) {
  ASSERT_TRUE(start_server()) << server_->output();
  auto app = make_app();
  std::string history;
  for (int i = 1; i <= 40; ++i)
    history += std::to_string(i) + "|第" + std::to_string(i) + "部剧|第1集|qvod%3A//1%7CAA%7Cx.mp4%7C|1|0|0\r\n";
  app->write_app_file("date.dat", gbk(history));
  app->start();
  ASSERT_TRUE(app->wait_traced("BA1 shown", 60)) << app->output();
  const std::string page = show_history(*app);
  const auto first = link_box(page, "open://1");
  ASSERT_TRUE(first) << page;
  EXPECT_EQ(page_scroll_y(page), 0) << page;

  // Down the list, then the entry at the top of the panel is deleted.
  app->wheel_down(first->cx(), first->y + 150, 5);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const int shown = app->traced_count("page Web3 ");
  app->right_click(first->cx(), first->cy());
  const auto remove = menu_item(app->wait_last("menu webc", "shown", 10), "删除选中");
  ASSERT_TRUE(remove && remove->enabled) << app->trace();
  app->click(remove->box.cx(), remove->box.cy());
  ASSERT_TRUE(wait_for([&] { return app->traced_count("page Web3 ") > shown; }, 20)) << app->trace();
  const std::string again = app->last_traced("page Web3 ");
  EXPECT_GT(page_scroll_y(again), 100) << again << app->trace();
  EXPECT_EQ(page_text(again).rfind("GBK | ", 0), 0u) << again;
  EXPECT_NE(page_text(again).find("39 第40部剧"), std::string::npos) << again;
}

TEST_F(Panels, OpeningAHistoryEntryPlaysItFromItsStoredPosition) {
  ASSERT_TRUE(start_server()) << server_->output();
  const std::string second = episode_address(1);
  ASSERT_NE(second.find("ep2.mp4"), std::string::npos) << second;
  auto app = make_app();
  app->register_player();
  app->write_app_file("date.dat", gbk(history_record("测试剧", 1, second, 4)));
  app->start();
  ASSERT_TRUE(app->wait_traced("BA1 shown", 60)) << app->output();
  const std::string page = show_history(*app);
  EXPECT_NE(page_text(page).find("1 测试剧"), std::string::npos) << page;
  const auto entry = link_box(page, "open://1");
  ASSERT_TRUE(entry) << page;

  app->click(entry->cx(), entry->cy());
  ASSERT_TRUE(app->wait_traced("player put 1 " + second, 20)) << app->trace();
  // Once it plays, the player is sent to the stored second, and the clock
  // goes on from there (the caption of the tick that sent it may still
  // show the second before).
  ASSERT_TRUE(app->wait_traced("player put 10 4", 30)) << app->trace() << app->output();
  ASSERT_TRUE(app->wait_traced_after("player put 10 4", "times caption 00:05", 20)) << app->trace();
  std::string t = app->trace();
  const std::size_t seek = t.find("player put 10 4");
  t = t.substr(seek, t.find("player put 1 ", seek) - seek);  // up to the next film
  std::vector<int> seconds;
  for (std::size_t at = t.find("times caption 00:"); at != std::string::npos;
       at = t.find("times caption 00:", at + 1))
    seconds.push_back(std::atoi(t.c_str() + at + 17));
  ASSERT_GE(seconds.size(), 2u) << t;
  for (std::size_t i = 1; i < seconds.size(); ++i) EXPECT_GE(seconds[i], 4) << t;
  // The episode page of that entry stands in the episode panel.
  EXPECT_TRUE(app->traced("navigate Web4 " + server_->origin() + "/box/pp.htm?1-1-1-测试剧-0"))
      << app->trace();
}

TEST_F(Panels, DeleteDownloadRemovesTheEntrysDownloadedFileFromTheSaveFolder) {
  ASSERT_TRUE(start_server()) << server_->output();
  const std::string second = episode_address(1);
  auto app = make_app();
  set_suite_folder(*app);
  app->write_app_file("date.dat", gbk(history_record("测试剧", 1, second, 0)));
  // The entry's download, and a file of another film.
  const std::string downloaded = app->downloads() + "/ep2.mp4";
  const std::string other = app->downloads() + "/kcity-01.mp4";
  for (const std::string& path : {downloaded, other}) std::ofstream(path) << "video";
  app->start();
  ASSERT_TRUE(app->wait_traced("BA1 shown", 60)) << app->output();
  const std::string page = show_history(*app);
  const auto entry = link_box(page, "open://1");
  ASSERT_TRUE(entry) << page;

  app->right_click(entry->cx(), entry->cy());
  const std::string menu = app->wait_last("menu webc", "shown", 10);
  const auto remove = menu_item(menu, "删除下载");
  ASSERT_TRUE(remove && remove->enabled) << menu;
  app->click(remove->box.cx(), remove->box.cy());
  ASSERT_TRUE(app->wait_traced("menu webc chose c_shan2", 10)) << app->trace();
  // The question names the file; the answer is yes (the default button).
  ASSERT_TRUE(wait_for([&] { return !app->windows_titled("提示：").empty(); }, 10))
      << "no question came\n" << app->trace();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  app->screenshot("delete-download-question");
  app->key("Return");
  EXPECT_TRUE(wait_for([&] { return !std::filesystem::exists(downloaded); }, 10));
  EXPECT_TRUE(std::filesystem::exists(other));
  // The entry goes with its download.
  EXPECT_TRUE(wait_for([&] { return app->file("date.dat").find(gbk("测试剧")) == std::string::npos; }, 10))
      << app->file("date.dat");
  const std::string shown = app->wait_last("page Web3 ", "暂无记录", 20);
  EXPECT_NE(shown.find("暂无记录"), std::string::npos) << app->trace();
  EXPECT_EQ(shown.find("测试剧"), std::string::npos) << shown;
}

TEST_F(Panels, TheTaskLabelEmptiesTheHistoryThroughItsMenuAndTheLocalFilmsAtOnce) {
  ASSERT_TRUE(start_server()) << server_->output();
  auto app = start_with_lists();
  show_history(*app);

  // On the history: a menu; emptying asks first.
  app->click(kTaskLabelX, kTaskLabelY);
  const std::string menu = app->wait_last("menu c_fie", "shown", 10);
  const auto empty = menu_item(menu, "清空历史记录");
  ASSERT_TRUE(empty && empty->enabled) << app->trace();
  app->click(empty->box.cx(), empty->box.cy());
  ASSERT_TRUE(wait_for([&] { return !app->windows_titled("提示：").empty(); }, 10)) << "no question";
  app->key("Return");
  EXPECT_TRUE(wait_for([&] { return app->file("date.dat") == "\r\n"; }, 10)) << app->file("date.dat");
  const std::string history = app->wait_last("page Web3 ", "暂无记录", 20);
  EXPECT_NE(history.find("暂无记录"), std::string::npos) << app->trace();

  // On the local films the label empties that list, once the answer is yes.
  ASSERT_TRUE(app->click_until(kLocalFilmsX, kLocalFilmsY, "qk caption ∴ 清空列表")) << app->trace();
  app->click(kTaskLabelX, kTaskLabelY);
  ASSERT_TRUE(wait_for([&] { return !app->windows_titled("提示：").empty(); }, 10)) << "no question";
  app->key("Return");
  EXPECT_TRUE(wait_for([&] { return app->file("date_f.dat") == "\r\n"; }, 10)) << app->file("date_f.dat");
  const std::string local = app->wait_last("page Web5 ", "暂无记录", 20);
  EXPECT_NE(local.find("暂无记录"), std::string::npos) << app->trace();
  EXPECT_EQ(local.find("夜航西飞"), std::string::npos) << local;
}

TEST_F(Panels, TheLibraryPopsItsMenuAndAnUnhookedPageKeepsTheEnginesMenuWithoutDialogs) {
  ASSERT_TRUE(start_server()) << server_->output();
  auto app = make_app();
  // A local-films page of an older installation: no menu of its own, a
  // script error and an alert.
  app->write_app_file("f.htm", gbk("<html><body style=\"background:#070707;color:#fff\">"
                                   "<p>旧的本机影片</p><script>alert('x');noSuchFunction();</script>"
                                   "</body></html>"));
  app->start();
  ASSERT_TRUE(app->wait_traced("Pic1 shown", 60)) << app->trace() << app->output();
  const std::string library = app->wait_last("page Web1 ", "eebovod://", 30);
  const auto card = link_box(library, "eebovod://1-1-0-%u6D4B%u8BD5%u5267");
  ASSERT_TRUE(card) << library;

  // The library: its own menu, on a link as anywhere else.
  app->right_click(card->cx(), card->cy());
  std::string menu = app->wait_last("menu myMenu", "shown", 10);
  for (const char* caption : {"后退", "前进", "刷新", "复制", "粘贴"})
    EXPECT_TRUE(menu_item(menu, caption)) << caption << " in " << menu;
  app->key("Escape");
  ASSERT_TRUE(app->wait_traced("menu myMenu closed", 10)) << app->trace();

  // The local films (never hooked): the engine's own menu.
  const std::string local = app->wait_last("page Web5 ", "旧的本机影片", 30);
  ASSERT_NE(local.find("旧的本机影片"), std::string::npos) << local;
  ASSERT_TRUE(app->click_until(kListTabX, kListTabY, "zz1 shown")) << app->trace();
  ASSERT_TRUE(app->click_until(kLocalFilmsX, kLocalFilmsY, "s3 shown")) << app->trace();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  Box panel;
  ASSERT_EQ(std::sscanf(local.c_str(), "page Web5 at %d,%d %dx%d", &panel.x, &panel.y, &panel.w, &panel.h), 4);
  app->right_click(panel.x + 40, panel.y + 120);
  EXPECT_TRUE(app->wait_traced("menu Web5 engine", 10)) << app->trace();
  EXPECT_FALSE(app->traced("menu webc")) << app->trace();
  app->key("Escape");

  // Neither the script error nor the alert brought up a window.
  const std::string windows =
      x_query(x_->display(), "xdotool search --onlyvisible --pid " + std::to_string(app->pid()));
  EXPECT_EQ(std::count(windows.begin(), windows.end(), '\n'), 1) << windows;
}

TEST_F(Panels, WhereTheServerIsDownPanelsShowAPageOfTheProgramsOwn) {
  // A server that ran and is gone: nothing listens on its port.
  ASSERT_TRUE(start_server()) << server_->output();
  const std::string origin = server_->origin();
  const std::string second = episode_address(1);
  server_->stop();
  auto app = std::make_unique<DesktopApp>(*x_, origin);
  app->write_app_file("date.dat", gbk(history_record("测试剧", 1, second, 0)));
  app->start();
  ASSERT_TRUE(app->wait_traced("BA1 shown", 60)) << app->output();

  // The hot-list panel has no failure handling of its own: our page, in
  // Chinese, not the engine's.
  const std::string hot = app->wait_last("page Webz3 ", "无法连接到服务器", 60);
  EXPECT_NE(hot.find("无法连接到服务器"), std::string::npos) << app->trace();
  EXPECT_EQ(hot.find("reached"), std::string::npos) << hot;
  // The library keeps its own: the cover with the retry picture.
  EXPECT_TRUE(app->wait_traced("jia1 shown", 30)) << app->trace();
  EXPECT_EQ(app->last_traced("page Web1 ").find("无法连接到服务器"), std::string::npos);

  ASSERT_TRUE(app->click_until(kHotTabX, kHotTabY, "zz3 shown")) << app->trace();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const std::string png = app->screenshot("server-down");
  // The program's colours: the near-black background, with light text.
  Box panel;
  ASSERT_EQ(std::sscanf(hot.c_str(), "page Webz3 at %d,%d %dx%d", &panel.x, &panel.y, &panel.w, &panel.h), 4);
  const QImage shot(QString::fromStdString(png));
  ASSERT_FALSE(shot.isNull());
  int background = 0, light = 0, all = 0;
  for (int y = panel.y + 4; y < panel.y + panel.h - 4; ++y) {
    for (int x = panel.x + 4; x < panel.x + panel.w - 4; ++x) {
      const QRgb c = shot.pixel(x, y);
      ++all;
      if (qRed(c) == 7 && qGreen(c) == 7 && qBlue(c) == 7) ++background;
      if (qGray(c) > 150) ++light;
    }
  }
  EXPECT_GT(background, all * 9 / 10);
  EXPECT_GT(light, 50) << "no text";

  // An entry of the history brings up its episode page: ours again.
  const std::string page = show_history(*app);
  const auto entry = link_box(page, "open://1");
  ASSERT_TRUE(entry) << page;
  app->click(entry->cx(), entry->cy());
  ASSERT_TRUE(app->wait_traced("navigate Web4 " + origin + "/box/pp.htm?1-1-1-", 20)) << app->trace();
  const std::string episodes = app->wait_last("page Web4 ", "无法连接到服务器", 30);
  EXPECT_NE(episodes.find("无法连接到服务器"), std::string::npos) << app->trace();
  EXPECT_EQ(episodes.find("reached"), std::string::npos) << episodes;
  EXPECT_TRUE(app->wait_traced("s2 shown", 10));
  std::this_thread::sleep_for(std::chrono::seconds(1));
  app->screenshot("server-down-episodes");
}

}  // namespace
}  // namespace tav::test
