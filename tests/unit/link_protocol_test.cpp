#include <gtest/gtest.h>

#include "base/text.h"
#include "headless_fixture.h"
#include "web/link_protocol.h"

namespace tav {
namespace {

class LinkProtocol : public test::HeadlessTest {
 protected:
  void SetUp() override {
    w = start();
    ASSERT_TRUE(w);
    hp.log.clear();
  }
  // A page in the panel navigates; true when the navigation was cancelled.
  bool page_navigates(Browser& panel, const std::string& url) { return !panel.page_navigation(url); }
  std::string h_asp(const std::string& query) { return config.server_base + "h.asp?" + query; }
  std::unique_ptr<BA1> w;
};

TEST_F(LinkProtocol, ALookupLinkAsksForTheEpisodeAndPlaysTheReply) {
  hp.http.reply(h_asp("id=12&v=1&v1=0"), "第1集$qvod://1234|ABCD|天龙八部01.rmvb|$qvod");
  EXPECT_TRUE(page_navigates(w->Web1, "eebovod://12-1-0-%u5929%u9F99"));
  EXPECT_TRUE(logged("fetch " + h_asp("id=12&v=1&v1=0")));
  EXPECT_TRUE(logged("player put 1 \"qvod://1234|ABCD|天龙八部01.rmvb|\""));
  EXPECT_TRUE(logged("player call 12"));
  EXPECT_EQ(w->filmKey, "12-1-0-天龙");
  EXPECT_EQ(w->itemKey, "12");
  EXPECT_EQ(w->itemKind, 1);
  EXPECT_EQ(w->bo_name.caption(), "天龙-第1集");
  EXPECT_TRUE(logged("navigate Web4 " + config.server_base + "pp.htm?12-1-0-天龙-0"));
  EXPECT_EQ(gbk.to_utf8(dir.read("date.dat")),
            "12|天龙|第1集|qvod%3A//1234%7CABCD%7C%u5929%u9F99%u516B%u90E801.rmvb%7C|1|0|0\r\n\r\n");
  EXPECT_EQ(w->currentSection, 12);
  EXPECT_EQ(w->currentTab, 9);
  EXPECT_TRUE(w->Timer1.enabled());
}

TEST_F(LinkProtocol, AReplyAddressWithBarsIsEscapedInThePlayLink) {
  std::string play_link;
  auto inner = w->Web1.on_before_navigate;
  w->Web1.on_before_navigate = [&](const std::string& url, bool& cancel) {
    if (contains(url, "eeqvod://")) play_link = url;
    inner(url, cancel);
  };
  hp.http.reply(h_asp("id=3&v=2&v1=4"), "L$a|b|c$qvod");
  page_navigates(w->Web1, "eebovod://3-2-4-X-Men/");
  EXPECT_EQ(play_link, "eeqvod://qvod&&&a%7Cb%7Cc&&&X&&&L&&&3&&&2&&&4");
}

TEST_F(LinkProtocol, AFailedLookupSaysSoTwiceAndRemembersIt) {
  hp.http.reply(h_asp("id=5&v=1&v1=0"), "1");
  page_navigates(w->Web1, "eebovod://5-1-0-abc");
  EXPECT_EQ(w->nextLink, "1");
  EXPECT_EQ(w->zhun.caption(), "读取数据出错，请返回重试");
  EXPECT_TRUE(logged("balloon title=\"Tavori提示:\" text=\"读取数据出错，请返回重试！\""));
  EXPECT_FALSE(logged("player"));
  // A dead server answers nothing: the same.
  page_navigates(w->Web1, "eebovod://6-1-0-abc");
  EXPECT_EQ(logged_count("读取数据出错，请返回重试！"), 2u);
  // A reply without "$" is not data either, but nextLink stays.
  w->nextLink = "x";
  hp.http.reply(h_asp("id=7&v=1&v1=0"), "<html>error</html>");
  page_navigates(w->Web1, "eebovod://7-1-0-abc");
  EXPECT_EQ(w->nextLink, "x");
  EXPECT_EQ(w->zhun.caption(), "读取数据出错，请返回重试");
}

TEST_F(LinkProtocol, PlayLinkFieldsAndTheirOptionalEnd) {
  // The trailing "/" a browser adds is not part of v1.
  page_navigates(w->Web1, "eeqvod://qvod&&&http%3A//m/a.mp4&&&N&&&L&&&9&&&1&&&3/");
  EXPECT_EQ(w->filmKey, "9-1-3-N");
  EXPECT_TRUE(logged("pp.htm?9-1-3-N-0"));
  // "n" plays and records but keeps the episode page.
  hp.log.clear();
  page_navigates(w->Web1, "eeqvod://qvod&&&http%3A//m/b.mp4&&&M&&&L&&&8&&&1&&&0&&&n");
  EXPECT_FALSE(logged("navigate Web4"));
  EXPECT_TRUE(logged("file written date.dat"));
  EXPECT_TRUE(logged("player put 1 \"http://m/b.mp4\""));
}

TEST_F(LinkProtocol, UpperCaseQvodPlaysInTheWebPlayerPage) {
  page_navigates(w->Web1, "eeqvod://QVOD&&&http%3A//m/a.mp4&&&N&&&L&&&9&&&1&&&0");
  EXPECT_EQ(w->webPlayMode, 1);
  EXPECT_TRUE(logged("navigate Web2 " + config.server_base + "play.htm?QVOD$$$http%3A//m/a.mp4"));
  EXPECT_FALSE(logged("player put 1"));
}

TEST_F(LinkProtocol, ALinkWithoutNameAddressOrSeriesPlaysUnrecorded) {
  for (const char* link : {"eeqvod://qvod&&&http%3A//m/a.mp4&&&&&&L&&&9&&&1&&&0",
                           "eeqvod://qvod&&&&&&N&&&L&&&9&&&1&&&0",
                           "eeqvod://qvod&&&http%3A//m/a.mp4&&&N&&&L&&&&&&1&&&0"}) {
    hp.log.clear();
    page_navigates(w->Web1, link);
    EXPECT_TRUE(logged("player call 12")) << link;
    EXPECT_FALSE(logged("date.dat")) << link;
    EXPECT_FALSE(logged("navigate Web4")) << link;
  }
}

TEST_F(LinkProtocol, ViewSwitchesAreNotCancelled) {
  EXPECT_FALSE(page_navigates(w->Web1, "jilux://"));
  EXPECT_EQ(w->currentSection, 13);
  EXPECT_EQ(w->currentTab, 9);
  EXPECT_FALSE(page_navigates(w->Web1, "tvx://"));
  EXPECT_EQ(w->tvMode, 1);
  EXPECT_FALSE(page_navigates(w->Web1, config.server_base + "page2.htm"));
}

TEST_F(LinkProtocol, ContainsTestsAndPrefixTests) {
  // The library panel finds a play link anywhere in the address.
  EXPECT_TRUE(page_navigates(w->Web1, "http://x/?go=eeqvod://qvod&&&a&&&N&&&L&&&1&&&1&&&0"));
  EXPECT_TRUE(logged("play.htm?http://x/?go=qvod$$$a"));  // what precedes is the kind
  // The local-films panel forwards only addresses that begin with a command.
  hp.log.clear();
  EXPECT_FALSE(page_navigates(w->Web5, "x open://2"));
  EXPECT_FALSE(logged("navigate"));
  EXPECT_TRUE(page_navigates(w->Web5, "open://2"));
  EXPECT_TRUE(page_navigates(w->Web5, "delk://3/"));
  // The episode panel hands links to the library panel, and goes on itself.
  hp.http.reply(h_asp("id=4&v=1&v1=2"), "第3集$http://m/c.mp4$qvod");
  EXPECT_FALSE(page_navigates(w->Web4, "eebovod://4-1-2-Name"));
  EXPECT_TRUE(logged("player put 1 \"http://m/c.mp4\""));
  EXPECT_EQ(w->filmKey, "4-1-2-Name");
  // Scheme tests are case-sensitive.
  hp.log.clear();
  EXPECT_FALSE(page_navigates(w->Web1, "EEBOVOD://1-1-0-x"));
  EXPECT_FALSE(logged("fetch"));
}

TEST_F(LinkProtocol, TheSentinelPlaysThePreparedLinkOnlyWithAutomaticPlay) {
  w->nextLink = "eeqvod://qvod&&&http%3A//m/n.mp4&&&N&&&L&&&9&&&1&&&1";
  w->Timer1.set_enabled(false);
  EXPECT_TRUE(page_navigates(w->Web2, std::string(kSentinelAddress)));
  EXPECT_TRUE(logged("player put 1 \"http://m/n.mp4\""));
  put_setting("S_q", "s_bo", "1");
  w->Timer1.set_enabled(false);
  hp.log.clear();
  w->nextLink = "eeqvod://qvod&&&http%3A//m/o.mp4&&&N&&&L&&&9&&&1&&&2";
  EXPECT_TRUE(page_navigates(w->Web2, std::string(kSentinelAddress)));
  EXPECT_FALSE(logged("player"));
  EXPECT_TRUE(w->Timer1.enabled());
  for (const char* marker : {"0", "1", "3"}) {
    put_setting("S_q", "s_bo", "2");
    w->nextLink = marker;
    hp.log.clear();
    EXPECT_TRUE(page_navigates(w->Web2, std::string(kSentinelAddress)));
    EXPECT_FALSE(logged("navigate Web1")) << marker;
  }
  EXPECT_FALSE(page_navigates(w->Web2, config.server_base + "play.htm?web$$$x"));
}

TEST_F(LinkProtocol, TheTerminalIsStartedFromTheSuitesFolderWhenItDoesNotRun) {
  put_setting("S_q", "qvodw", "/opt/qvod player/");
  page_navigates(w->Web1, "eeqvod://qvod&&&a&&&N&&&L&&&1&&&1&&&0");
  EXPECT_TRUE(logged("start \"\\\"/opt/qvod player/QvodTerminal.exe\\\"\" style=2"));
  EXPECT_EQ(w->qvodDir, "/opt/qvod player/");
  hp.processes.add("QvodTerminal.exe", "/opt/qvod player/QvodTerminal.exe");
  hp.log.clear();
  page_navigates(w->Web1, "eeqvod://qvod&&&a&&&N&&&L&&&1&&&1&&&0");
  EXPECT_FALSE(logged("start"));
}

TEST_F(LinkProtocol, HostileLinksNeitherCrashNorCorruptTheHistory) {
  hp.http.reply(config.server_base, "L$$");
  const std::string megabyte(1u << 20, 'x');
  const std::string links[] = {
      "eebovod://",
      "eebovod://-",
      "eebovod://99999999999-1-0-n",
      "eebovod://12-1-0-" + megabyte,
      "eebovod://abc-%-%u-%uZZ",
      "eeqvod://",
      "eeqvod://qvod",
      "eeqvod://qvod&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&",
      "eeqvod://qvod&&&%u&&&%&&&%%&&&4294967296&&&-1&&&x",
      "eeqvod://web&&&" + megabyte + "&&&" + megabyte + "&&&l&&&1&&&1&&&1",
      "eeqvod://qvod&&&a|b&&&na|me&&&la|bel&&&1|2&&&1&&&1",
      "eeqvod://qvod&&&a$b&&&n$&&&$l&&&7&&&$&&&$",
      "eeqvod://qvod&&&x&&&\r\nname&&&l\n&&&8&&&1&&&1",
  };
  for (const std::string& link : links) page_navigates(w->Web1, link);
  // Every record is still one line with its fields; nothing was torn.
  const std::string history = gbk.to_utf8(dir.read("date.dat"));
  for (const std::string& line : split_lines(history)) {
    if (line.empty()) continue;
    EXPECT_GE(split(line, "|").size(), 7u) << line.substr(0, 80);
  }
  EXPECT_EQ(w->Web1.location(), config.server_base);
  w->Timer1_Timer();
}

// A reply or a name that carries link-protocol text must not make the
// program's own navigations loop: one click, one request, one film.
TEST_F(LinkProtocol, LinkTextInsideAReplyPlaysOnceWithOneRequest) {
  hp.http.reply(h_asp("id=8&v=1&v1=0"), "eebovod://8-1-0-x$http://m/a.mp4$eebovod://8-1-0-y");
  EXPECT_TRUE(page_navigates(w->Web1, "eebovod://8-1-0-Name"));
  EXPECT_EQ(hp.http.requests.size(), 1u);
  // The kind is not "qvod": the web player page gets it, as any other kind.
  EXPECT_EQ(w->webPlayMode, 1);
  EXPECT_TRUE(logged("play.htm?eebovod://8-1-0-y$$$http%3A//m/a.mp4"));
  EXPECT_EQ(w->bo_name.caption(), "Name-eebovod://8-1-0-x");

  hp.http.requests.clear();
  hp.http.reply(h_asp("id=8&v=1&v1=1"), "eeqvod://$http://m/b.mp4$qvod");
  w->stepEpisode(2);
  EXPECT_EQ(hp.http.requests.size(), 1u);
  EXPECT_TRUE(logged("player put 1 \"http://m/b.mp4\""));
  EXPECT_EQ(w->filmKey, "8-1-1-Name");

  // A server that answers every request so once looped without end.
  hp.http.requests.clear();
  hp.http.reply(config.server_base, "eebovod://1-1-0-x$http://m/c.mp4$qvod");
  page_navigates(w->Web1, "eebovod://1-1-0-x");
  EXPECT_EQ(hp.http.requests.size(), 1u);
  EXPECT_EQ(w->filmKey, "1-1-0-x");
}

TEST_F(LinkProtocol, NamesFromALinkReadBackAsTheSameFields) {
  // An escaped U+DCAF is no byte of a file: it must not come out as the
  // raw byte 0xAF, which would merge with the "|" after it.
  page_navigates(w->Web1, "eeqvod://qvod&&&http%3A//m/a.mp4&&&a%uDCAF&&&L%uDCAF&&&6&&&1&&&0");
  w->lists.set_history_position(6, 42);
  const std::vector<std::string> fields =
      split(split_lines(gbk.to_utf8(dir.read("date.dat")))[0], "|");
  ASSERT_EQ(fields.size(), 7u);
  EXPECT_EQ(fields[0], "6");
  EXPECT_EQ(fields[3], "http%3A//m/a.mp4");
  EXPECT_EQ(fields[6], "42");
  // "|" in a name and a label: the record keeps its seven fields.
  page_navigates(w->Web1, "eeqvod://qvod&&&http%3A//m/b.mp4&&&Tom%7CJerry&&&1|2&&&7&&&1&&&0");
  EXPECT_EQ(split(split_lines(gbk.to_utf8(dir.read("date.dat")))[0], "|").size(), 7u);
}

TEST_F(LinkProtocol, TheProgramsOwnEpisodePageIsNotForwarded) {
  // The name unescapes to link text; the episode page that carries it is
  // the program's own address, not a link of the page.
  page_navigates(w->Web1, "eeqvod://qvod&&&http%3A//m/a.mp4&&&%65ebovod%3A//1-1-0-z&&&L&&&5&&&1&&&0");
  EXPECT_TRUE(logged("navigate Web4 " + config.server_base + "pp.htm?5-1-0-eebovod://1-1-0-z-0"));
  EXPECT_TRUE(hp.http.requests.empty());
  EXPECT_EQ(logged_count("player call 12"), 1u);
  // A prepared next episode with link text in its label plays once too.
  hp.log.clear();
  w->nextLink = "eeqvod://qvod&&&http%3A//m/n.mp4&&&N&&&eebovod://9-9-9-q&&&5&&&1&&&1";
  EXPECT_TRUE(page_navigates(w->Web2, std::string(kSentinelAddress)));
  EXPECT_TRUE(hp.http.requests.empty());
  EXPECT_EQ(logged_count("player call 12"), 1u);
  // A kind that names the sentinel does not start the next episode.
  hp.log.clear();
  w->nextLink = "eeqvod://qvod&&&http%3A//m/z.mp4&&&N&&&L&&&5&&&1&&&2";
  page_navigates(w->Web1, "eeqvod://http://tavori-next-episode&&&http%3A//m/w.mp4&&&N&&&L&&&5&&&1&&&0");
  EXPECT_FALSE(logged("m/z.mp4"));
}

}  // namespace
}  // namespace tav
