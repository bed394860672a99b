// tavori-server against the client's own HTTP fetch: every address the
// client asks for, the replies it relies on, and the fault modes the other
// tests use.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "headless_fixture.h"
#include "platform/posix/curl_http.h"
#include "platform/posix/iconv_code_page.h"
#include "server_process.h"
#include "web/text_routines.h"

namespace tav {
namespace {

using test::raw_get;
using test::ServerProcess;
using Clock = std::chrono::steady_clock;

constexpr const char* kCatalogue = R"(# test catalogue
series 11
name    测试剧
shelf   library hot
genre   剧情
episode 第1集 | t-01.mp4 | qvod
episode 第2集 | t-02.mp4 | web
episode 第3集 | 测试剧第3集.mp4 | web

series 12
name    X-战警
shelf   library
episode 第1集 | x-01.mp4 | qvod
episode 第2集 | x-02.mp4 | qvod

series 13
name    等待中
shelf   library hot
status  pending
episode 第1集 | p-01.mp4 | qvod

series 14
name    频道
shelf   tv
episode 一台 · 新闻 | tv-1.mp4 | web | 正在播出：晚间新闻

series 15
name    缺片
shelf   library
episode 第1集 | missing.mp4 | qvod

series 16
name    A-B/C & "D" 'E' $5 | 100%41 #1 &&& 全/
shelf   library
episode 上 & 下 100%41 &&& 终 | a b&&&c #1 %41 'q'.mp4 | web
episode 第2集 | a b&&&c #2 %41.mp4 | qvod
)";

// Series 16: every separator of the link protocol, the episode reply and
// the list files in its name, its labels and its file names.
constexpr const char* kOddName = "A-B/C & \"D\" 'E' $5 | 100%41 #1 &&& 全/";

// SHA-1 of the bytes of t-01.mp4 (pattern_bytes(1000)), as sha1sum gives it.
constexpr const char* kHashT01 = "576418509284CBE426FA53FA4AA8DA5FEE1AB095";

std::string pattern_bytes(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + 3) % 251);
  return s;
}

// The test catalogue and its media folder, media/ inside the server's folder.
void prepare_folder(const ServerProcess& server) {
  const test::TempDir& dir = server.folder();
  std::filesystem::create_directories(dir.file("media"));
  dir.write("catalogue.txt", kCatalogue);
  dir.write("media/t-01.mp4", pattern_bytes(1000));
  dir.write("media/t-02.mp4", "web episode bytes");
  dir.write("media/测试剧第3集.mp4", "third episode");
  dir.write("media/x-01.mp4", "x one");
  dir.write("media/x-02.mp4", "x two");
  dir.write("media/p-01.mp4", "pending bytes");
  dir.write("media/tv-1.mp4", "channel bytes");
  dir.write("media/a b&&&c #1 %41 'q'.mp4", "odd web bytes");
  dir.write("media/a b&&&c #2 %41.mp4", "odd qvod bytes");
  dir.write("secret.txt", "not for the network");
  std::filesystem::create_symlink("../secret.txt", dir.file("media/leak.mp4"));
}

std::vector<std::string> test_args(std::vector<std::string> more = {}) {
  std::vector<std::string> args = {"--catalogue", "catalogue.txt", "--media",
                                   "media",       "--log",         "pings.log"};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

// A server on the test catalogue, started with the extra arguments.
class TestServer {
 public:
  explicit TestServer(std::vector<std::string> more = {}) : process_(ServerProcess::later) {
    prepare_folder(process_);
    process_.start(test_args(std::move(more)));
  }
  ServerProcess& operator*() { return process_; }
  ServerProcess* operator->() { return &process_; }

 private:
  ServerProcess process_;
};

// A lookup link as the pages write it: the name escaped, its dashes and
// slashes too.
std::string link(const std::string& id, int episode, const std::string& name) {
  return "eebovod://" + id + "-1-" + std::to_string(episode) + "-" +
         replace_all(replace_all(urlEscape(name), "-", "%2D"), "/", "%2F");
}

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Every server of the suite shares one code page and fetch.
class ServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new TestServer();
    ASSERT_TRUE((*server_)->ready()) << (*server_)->output();
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE((*server_)->ready()) << (*server_)->output(); }
  static ServerProcess& server() { return **server_; }
  std::string get(const std::string& address_after_base) {
    return http_.get(server().base() + address_after_base);
  }
  int status_of(const std::string& target) { return raw_get(server().port(), target).status; }

  IconvCodePage code_page_;
  CurlHttp http_{code_page_};
  static TestServer* server_;
};

TestServer* ServerTest::server_ = nullptr;

// --- The library panels ---------------------------------------------------

TEST_F(ServerTest, LibraryPageLinksEveryEpisodeWithEscapedNames) {
  const std::string page = get("");
  ASSERT_FALSE(page.empty());
  for (int ep = 0; ep < 3; ++ep)
    EXPECT_NE(page.find("href=\"" + link("11", ep, "测试剧") + "\""), std::string::npos) << ep;
  // The client takes the link apart at its dashes: the name's own is escaped.
  EXPECT_NE(page.find("href=\"eebovod://12-1-1-X%2D%u6218%u8B66\""), std::string::npos);
  EXPECT_NE(page.find(link("13", 0, "等待中")), std::string::npos);
  EXPECT_EQ(page.find("eebovod://14-"), std::string::npos) << "TV channels are not in the library";
  EXPECT_NE(page.find("<meta charset=\"utf-8\">"), std::string::npos);
  EXPECT_EQ(page.find("location.href"), std::string::npos) << "follows only with --follow";

  const test::RawReply reply = raw_get(server().port(), "/box/");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.header("Content-Type"), "text/html; charset=utf-8");
}

TEST_F(ServerTest, SecondLibraryAndTvPagesUseTheDoubleSlashAddresses) {
  // Their panels have no link handler: the pages play in themselves.
  const std::string hot = get("/yy");
  EXPECT_NE(hot.find("id=\"s11\" data-name=\"测试剧\""), std::string::npos);
  EXPECT_NE(hot.find("data-src=\"/media/t-02.mp4\""), std::string::npos);
  EXPECT_EQ(hot.find("id=\"s12\""), std::string::npos) << "12 is not on the hot shelf";
  EXPECT_EQ(hot.find("eebovod://"), std::string::npos);
  EXPECT_EQ(get("yy"), hot);

  const std::string tv = get("/tv");
  EXPECT_NE(tv.find("data-src=\"/media/tv-1.mp4\""), std::string::npos);
  EXPECT_NE(tv.find("晚间新闻"), std::string::npos);
  EXPECT_EQ(tv.find("eebovod://"), std::string::npos);
  EXPECT_EQ(tv.find("t-01.mp4"), std::string::npos) << "series 11 is no channel";
}

TEST_F(ServerTest, AdPagesAreSmallSelfContainedCards) {
  for (const char* name : {"qvodad", "fudong", "tui"}) {
    const std::string page = get(std::string("js/ads/") + name + ".html");
    EXPECT_NE(page.find("TAVORI"), std::string::npos) << name;
    EXPECT_NE(page.find("width:300px;height:250px"), std::string::npos) << name;
    EXPECT_EQ(page.find("src=\"http"), std::string::npos) << name << " must not need the network";
  }
  EXPECT_EQ(status_of("/box/js/ads/other.html"), 404);
}

// --- h.asp ----------------------------------------------------------------

TEST_F(ServerTest, EpisodeReplyOfAQvodEpisode) {
  EXPECT_EQ(get("h.asp?id=11&v=1&v1=0"),
            std::string("第1集$qvod://1000|") + kHashT01 + "|t-01.mp4|$qvod");
  // The player suite fetches the file by its hash.
  const test::RawReply seed = raw_get(server().port(), std::string("/seed/") + kHashT01);
  EXPECT_EQ(seed.status, 200);
  EXPECT_EQ(seed.header("Content-Type"), "video/mp4");
  EXPECT_EQ(seed.body, pattern_bytes(1000));
}

TEST_F(ServerTest, EpisodeReplyOfAWebEpisodeAndItsAddress) {
  const std::string reply = get("h.asp?id=11&v=1&v1=1");
  EXPECT_EQ(reply, "第2集$" + server().origin() + "/media/t-02.mp4$web");
  EXPECT_EQ(http_.get(server().origin() + "/media/t-02.mp4"), "web episode bytes");

  // A Chinese file name stands as it is; the request carries it as UTF-8.
  const std::vector<std::string> parts = split(get("h.asp?id=11&v=1&v1=2"), "$");
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[1], server().origin() + "/media/测试剧第3集.mp4");
  EXPECT_EQ(http_.get(parts[1]), "third episode");
}

TEST_F(ServerTest, EpisodeReplyPastTheLastEpisodeOrSeriesIsOne) {
  EXPECT_EQ(get("h.asp?id=11&v=1&v1=3"), "1");
  EXPECT_EQ(get("h.asp?id=11&v=1&v1=99999999999999999999999"), "1");
  EXPECT_EQ(get("h.asp?id=999&v=1&v1=0"), "1");
  EXPECT_EQ(get("h.asp?id=99999999999999999999&v=1&v1=0"), "1");
}

TEST_F(ServerTest, EpisodeReplyIsZeroWhileTheDataIsNotReady) {
  EXPECT_EQ(get("h.asp?id=13&v=1&v1=0"), "0") << "pending series";
  EXPECT_EQ(get("h.asp?id=13&v=1&v1=5"), "0") << "pending, whatever the episode";
  EXPECT_EQ(get("h.asp?id=15&v=1&v1=0"), "0") << "media file missing";
}

TEST_F(ServerTest, MalformedEpisodeRequestsAre400) {
  for (const char* q : {"h.asp", "h.asp?v=1&v1=0", "h.asp?id=11&v=1", "h.asp?id=11&v1=0",
                        "h.asp?id=abc&v=1&v1=0", "h.asp?id=11&v=1&v1=x", "h.asp?id=11&v=1&v1=-1",
                        "h.asp?id=&v=1&v1=0", "h.asp?id=11&v=1&v1=1.5"}) {
    EXPECT_EQ(status_of(std::string("/box/") + q), 400) << q;
    EXPECT_EQ(get(q), "") << q;
  }
}

// --- pp.htm, play.htm ----------------------------------------------------

TEST_F(ServerTest, EpisodePageWithARawChineseName) {
  // Raw UTF-8 bytes in the request line, as some clients send them.
  const test::RawReply reply = raw_get(server().port(), "/box/pp.htm?11-1-1-测试剧-0");
  ASSERT_EQ(reply.status, 200) << reply.head;
  for (int ep = 0; ep < 3; ++ep)
    EXPECT_NE(reply.body.find(link("11", ep, "测试剧")), std::string::npos) << ep;
  EXPECT_NE(reply.body.find("class=\"row current\" href=\"" + link("11", 1, "测试剧") + "\""),
            std::string::npos);
  EXPECT_EQ(count_of(reply.body, "row current"), 1u);
  EXPECT_EQ(reply.body.find("上次看到"), std::string::npos);
}

TEST_F(ServerTest, EpisodePageWithAPercentEncodedName) {
  // CurlHttp sends the name as a browser does: UTF-8 percent-encoding.
  const std::string page = get("pp.htm?11-1-2-测试剧-11");
  ASSERT_FALSE(page.empty());
  EXPECT_NE(page.find("class=\"row current\" href=\"" + link("11", 2, "测试剧") + "\""),
            std::string::npos);
  EXPECT_NE(page.find("上次看到 第2集"), std::string::npos) << "last \"11\" is v 1, v1 1";
  // The explicit escapes give the same page.
  EXPECT_EQ(get("pp.htm?11-1-2-%E6%B5%8B%E8%AF%95%E5%89%A7-11"), page);
}

TEST_F(ServerTest, EpisodePageOfANameCutAtItsDash) {
  // The client sends "X" for X-战警; the series number finds it.
  const std::string page = get("pp.htm?12-1-0-X-0");
  EXPECT_NE(page.find("X-战警"), std::string::npos);
  EXPECT_NE(page.find("row current"), std::string::npos);
  // The name itself may also hold its dash.
  EXPECT_NE(get("pp.htm?12-1-0-X-战警-0").find("X-战警"), std::string::npos);
}

TEST_F(ServerTest, EpisodePageOfAnUnknownSeriesEscapesTheName) {
  const test::RawReply reply =
      raw_get(server().port(), "/box/pp.htm?777-1-0-%3Cscript%3Ealert(1)%3C%2Fscript%3E-0");
  EXPECT_EQ(reply.status, 404);
  EXPECT_EQ(reply.body.find("<script>alert"), std::string::npos);
  EXPECT_NE(reply.body.find("&lt;script&gt;alert(1)"), std::string::npos);
  for (const char* q : {"/box/pp.htm", "/box/pp.htm?abc", "/box/pp.htm?11-1-0",
                        "/box/pp.htm?11-x-0-name-0", "/box/pp.htm?11-1--name-0"})
    EXPECT_EQ(status_of(q), 400) << q;
  // A "#" in the name ends the address before its last field: the series
  // number still finds the page.
  EXPECT_EQ(status_of("/box/pp.htm?11-1-0-name"), 200);
  EXPECT_EQ(status_of("/box/pp.htm?12-1-0-X-%E6%88%98"), 200);
}

TEST_F(ServerTest, PlayerPagePlaysTheUnescapedAddressItself) {
  const std::string address = urlEscape(server().origin() + "/media/t-02.mp4");
  const std::string page = get("play.htm?web$$$" + address);
  EXPECT_NE(page.find("<video"), std::string::npos);
  EXPECT_NE(page.find("autoplay"), std::string::npos);
  EXPECT_NE(page.find("controls"), std::string::npos);
  EXPECT_NE(page.find("unescape("), std::string::npos);
  EXPECT_NE(page.find("background:#000"), std::string::npos);
}

// The client's own logic, on the headless backend, on what the server
// writes: the episodes of a series whose name, labels and file names hold
// every separator the client splits at play under their whole name and
// label, go into the history whole, and their episode page and film are
// found.
class ClientOnServer : public test::HeadlessTest {
 protected:
  std::string effects() const {
    std::string out;
    for (const std::string& line : hp.log.lines()) out += line + "\n";
    return out;
  }
};

TEST_F(ClientOnServer, NamesLabelsAndFilesWithTheProtocolsSeparatorsTravelWhole) {
  TestServer server;
  ASSERT_TRUE(server->ready()) << server->output();
  CurlHttp http(gbk);
  config.server_base = server->base();
  const std::unique_ptr<BA1> w = start();
  ASSERT_TRUE(w);
  const std::string library = http.get(server->base());
  const char* const labels[] = {"上 & 下 100%41 &&& 终", "第2集"};
  for (int e = 0; e < 2; ++e) {
    // The link the page gives the episode.
    std::smatch found;
    ASSERT_TRUE(std::regex_search(library, found,
                                  std::regex("href=\"(eebovod://16-1-" + std::to_string(e) + "-[^\"]*)\"")));
    const std::string lookup = found[1];
    const std::string request = server->base() + "h.asp?id=16&v=1&v1=" + std::to_string(e);
    const std::string reply = http.get(request);
    const std::vector<std::string> parts = split(reply, "$");
    ASSERT_EQ(parts.size(), 3u) << reply;
    const std::string& address = parts[1];
    hp.http.reply(request, reply);
    hp.log.clear();
    EXPECT_FALSE(w->Web1.page_navigation(lookup));

    EXPECT_EQ(w->bo_name.caption(), fit_width(gbk, kOddName, 30) + "-" + labels[e]);
    if (parts[2] == "web") {
      EXPECT_TRUE(logged("navigate Web2 " + server->base() + "play.htm?web$$$" + urlEscape(address)))
          << effects();
      // The page plays the address it unescapes: the file, escaped once.
      EXPECT_EQ(http.get(address), "odd web bytes") << address;
    } else {
      EXPECT_TRUE(logged("player put 1 \"qvod://14|")) << effects();
      EXPECT_TRUE(logged("|a b&&&c #2 %41.mp4|\"")) << effects();
    }
    // The record: the name and label as they are ("|" escaped), the address
    // as the play link carried it.
    const std::vector<std::string> record =
        split(split_lines(gbk.to_utf8(dir.read("date.dat")))[0], "|");
    ASSERT_EQ(record.size(), 7u) << dir.read("date.dat");
    EXPECT_EQ(record[0], "16");
    EXPECT_EQ(record[1], replace_all(kOddName, "|", "%7C"));
    EXPECT_EQ(record[2], labels[e]);
    EXPECT_EQ(urlUnescape(record[3]), address);
    // The episode page the client asks for, as a browser sends it (up to
    // the "#"), lists the series.
    const std::string page = server->base() + "pp.htm?16-1-" + std::to_string(e) + "-" + kOddName + "-0";
    EXPECT_TRUE(logged("navigate Web4 " + page)) << effects();
    EXPECT_NE(http.get(page).find("href=\"" + lookup + "\""), std::string::npos) << page;
  }
}

// --- The small fetches ---------------------------------------------------

TEST_F(ServerTest, VersionFileDefault) { EXPECT_EQ(get("lib/wen.txt"), "0====0====0====1.0"); }

TEST(ServerOptions, VersionFileFromOptions) {
  IconvCodePage cp;
  CurlHttp http(cp);
  {
    TestServer server({"--wen", "1====1====0====2.5"});
    ASSERT_TRUE(server->ready()) << server->output();
    EXPECT_EQ(http.get(server->base() + "lib/wen.txt"), "1====1====0====2.5");
  }
  {
    TestServer server({"--wen-exit", "1", "--wen-strip", "1", "--wen-version", "3.0"});
    ASSERT_TRUE(server->ready()) << server->output();
    EXPECT_EQ(http.get(server->base() + "lib/wen.txt"), "1====0====1====3.0");
  }
}

// The updater the shell fallback downloads: the build's update.exe beside
// the server, else (a build without the desktop client) a placeholder.
TEST_F(ServerTest, UpdaterIsADownload) {
  const test::RawReply reply = raw_get(server().port(), "/box/update/update.exe");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.header("Content-Type"), "application/octet-stream");
  EXPECT_NE(reply.header("Content-Disposition").find("update.exe"), std::string::npos);
  const std::filesystem::path beside = std::filesystem::path(TAVORI_SERVER_BINARY).parent_path() / "update.exe";
  if (std::filesystem::exists(beside)) {
    std::ifstream in(beside, std::ios::binary);
    EXPECT_TRUE(reply.body == std::string(std::istreambuf_iterator<char>(in), {}));
    EXPECT_EQ(reply.body.substr(0, 4), "\x7f" "ELF");
  } else {
    EXPECT_GT(reply.body.size(), 8u);
    EXPECT_EQ(reply.body.substr(0, 2), "MZ");
  }
  // Without --release there is no release to offer.
  EXPECT_EQ(raw_get(server().port(), "/box/update/release.txt").status, 404);
}

TEST_F(ServerTest, PingsAreRecordedOnePerLine) {
  EXPECT_EQ(get("tj/tj.asp?id=AA-BB-CC-DD-EE-FF"), "");
  EXPECT_EQ(status_of("/box/tj/tj.asp?id=AA-BB-CC-DD-EE-FF"), 200);
  EXPECT_EQ(status_of("/box/tj/tj.asp?id=2024511123456789"), 200);
  EXPECT_EQ(status_of("/box/tj/tj.asp?id=bad%0Aforged%09line"), 200);
  EXPECT_EQ(status_of("/box/tj/tj.asp"), 400);

  const std::vector<std::string> lines = split_lines(server().folder().read("pings.log"));
  ASSERT_GE(lines.size(), 4u);
  const std::regex shape(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z\t[^\t]*\t127\.0\.0\.1)");
  std::size_t mac = 0, random = 0, forged = 0;
  for (const std::string& line : lines) {
    EXPECT_TRUE(std::regex_match(line, shape)) << line;
    mac += contains(line, "\tAA-BB-CC-DD-EE-FF\t");
    random += contains(line, "\t2024511123456789\t");
    forged += contains(line, "bad?forged?line");
    EXPECT_FALSE(starts_with(line, "forged")) << "an id may not start a line of its own";
  }
  EXPECT_EQ(mac, 2u);
  EXPECT_EQ(random, 1u);
  EXPECT_EQ(forged, 1u);
}

// --- Bad requests and files ----------------------------------------------

TEST_F(ServerTest, BadRequestsGet4xxAndServingGoesOn) {
  EXPECT_EQ(test::raw_request(server().port(), "NONSENSE\r\n\r\n").status / 100, 4);
  EXPECT_EQ(test::raw_request(server().port(), "GET /box/ HTTP/9.9 junk\r\n\r\n").status / 100, 4);
  EXPECT_EQ(
      test::raw_request(server().port(), std::string("\0\x01\x02\xff\r\n\r\n", 8)).status / 100, 4);
  EXPECT_EQ(status_of("/box/" + std::string(20000, 'a')), 414);
  EXPECT_EQ(status_of("/box/nothing-here.asp"), 404);
  EXPECT_EQ(status_of("/box/h.asp?id=%ZZ&v=%&v1=%u12"), 400);
  EXPECT_EQ(test::raw_request(server().port(),
                              "POST /box/h.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n"
                              "Connection: close\r\n\r\nabc")
                    .status /
                100,
            4);
  // A client that sends half a request and goes away.
  test::raw_request(server().port(), "GET /box/h.asp?id=11", 200);
  EXPECT_TRUE(starts_with(get("h.asp?id=11&v=1&v1=0"), "第1集$qvod://"));
  EXPECT_EQ(status_of("/box/"), 200);
}

TEST_F(ServerTest, MediaFilesAnswerByteRanges) {
  const int port = server().port();
  const std::string whole = pattern_bytes(1000);
  test::RawReply r = raw_get(port, "/media/t-01.mp4", "Range: bytes=10-19\r\n");
  EXPECT_EQ(r.status, 206);
  EXPECT_EQ(r.header("Content-Range"), "bytes 10-19/1000");
  EXPECT_EQ(r.header("Content-Type"), "video/mp4");
  EXPECT_EQ(r.body, whole.substr(10, 10));

  r = raw_get(port, std::string("/seed/") + kHashT01, "Range: bytes=990-\r\n");
  EXPECT_EQ(r.status, 206);
  EXPECT_EQ(r.body, whole.substr(990));
  r = raw_get(port, std::string("/seed/") + kHashT01, "Range: bytes=-5\r\n");
  EXPECT_EQ(r.body, whole.substr(995));
  r = raw_get(port, "/media/t-01.mp4", "Range: bytes=900-5000\r\n");
  EXPECT_EQ(r.header("Content-Range"), "bytes 900-999/1000") << "the end is clipped";
  EXPECT_EQ(r.body, whole.substr(900));
  r = raw_get(port, "/media/t-01.mp4", "Range: bytes=1000-\r\n");
  EXPECT_EQ(r.status, 416);
  EXPECT_EQ(r.header("Content-Range"), "bytes */1000");
  r = raw_get(port, "/media/t-01.mp4");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.header("Accept-Ranges"), "bytes");
  EXPECT_EQ(r.body, whole);
  r = raw_get(port, "/media/t-01.mp4", "Range: bytes=0-1,5-6\r\n");
  EXPECT_EQ(r.status, 200) << "several ranges: the whole file";
  EXPECT_EQ(r.body, whole);

  // Pages and texts come whole whatever the Range says.
  r = raw_get(port, "/box/lib/wen.txt", "Range: bytes=0-3\r\n");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "0====0====0====1.0");
  r = raw_get(port, "/box/h.asp?id=11&v=1&v1=5", "Range: bytes=100-\r\n");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "1");
}

TEST_F(ServerTest, NothingOutsideTheMediaFolderIsServed) {
  for (const char* target :
       {"/media/../catalogue.txt", "/media/..%2Fcatalogue.txt", "/media/%2E%2E/secret.txt",
        "/media/..%2F..%2F..%2Fetc%2Fpasswd", "/media//etc/passwd", "/media/%2Fetc%2Fpasswd",
        "/media/leak.mp4", "/media/", "/media/.", "/media/t-01.mp4%00.txt", "/media/..\\secret.txt",
        "/seed/../catalogue.txt", "/seed/..%2Fsecret.txt",
        "/seed/0000000000000000000000000000000000000000", "/seed/abc"}) {
    const test::RawReply r = raw_get(server().port(), target);
    EXPECT_EQ(r.status / 100, 4) << target << ": " << r.head;
    EXPECT_EQ(r.body.find("not for the network"), std::string::npos) << target;
    EXPECT_EQ(r.body.find("root:"), std::string::npos) << target;
  }
}

// --- Fault modes ---------------------------------------------------------

TEST(ServerFaults, GarbageIsTheClientsEmptyText) {
  TestServer server({"--garbage", "/box/h.asp"});
  ASSERT_TRUE(server->ready()) << server->output();
  IconvCodePage cp;
  CurlHttp http(cp);
  EXPECT_EQ(http.get(server->base() + "h.asp?id=11&v=1&v1=0"), "") << "4 MiB is over the cap";
  const test::RawReply r = raw_get(server->port(), "/box/h.asp?id=11&v=1&v1=0");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body.size(), 4u << 20);
  EXPECT_EQ(http.get(server->base() + "lib/wen.txt"), "0====0====0====1.0") << "other paths answer";
}

TEST(ServerFaults, HangMakesTheClientGiveUpWhileOthersAreServed) {
  TestServer server({"--hang", "/box/h.asp"});
  ASSERT_TRUE(server->ready()) << server->output();
  IconvCodePage cp;
  CurlHttp http(cp);
  std::string hung = "unset";
  const auto start = Clock::now();
  std::thread client([&] { hung = http.get(server->base() + "h.asp?id=11&v=1&v1=0"); });
  // Meanwhile the rest of the server answers at once.
  CurlHttp other(cp);
  const auto before = Clock::now();
  EXPECT_EQ(other.get(server->base() + "lib/wen.txt"), "0====0====0====1.0");
  EXPECT_LT(Clock::now() - before, std::chrono::seconds(2));
  client.join();
  const auto took = Clock::now() - start;
  EXPECT_EQ(hung, "");
  EXPECT_LT(took, std::chrono::seconds(10));
  EXPECT_GE(took, std::chrono::milliseconds(HttpLimits{}.total_timeout_ms - 500))
      << "given up by the client's time-out, not answered";

  // A stop does not wait for the held requests.
  std::thread held([&] { raw_get(server->port(), "/box/h.asp?id=1", {}, 20000); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto stopping = Clock::now();
  EXPECT_EQ(server->stop(), 0) << server->output();
  EXPECT_LT(Clock::now() - stopping, std::chrono::seconds(3));
  held.join();
}

TEST(ServerFaults, DelayHoldsEveryReply) {
  TestServer server({"--delay-ms", "300"});
  ASSERT_TRUE(server->ready()) << server->output();
  IconvCodePage cp;
  CurlHttp http(cp);
  const auto start = Clock::now();
  EXPECT_EQ(http.get(server->base() + "lib/wen.txt"), "0====0====0====1.0");
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(300));
}

TEST(ServerFaults, FollowHappensOnTheFirstLibraryPageOnly) {
  const std::string target = "eebovod://12-1-1-X-%u6218%u8B66";
  TestServer server({"--follow", target});
  ASSERT_TRUE(server->ready()) << server->output();
  IconvCodePage cp;
  CurlHttp http(cp);
  EXPECT_EQ(count_of(http.get(server->base() + "/yy"), "location.href"), 0u);
  const std::string first = http.get(server->base());
  EXPECT_EQ(count_of(first, "location.href"), 1u);
  EXPECT_NE(first.find("eebovod://12-1-1-X-%u6218%u8B66"), std::string::npos);
  EXPECT_NE(first.find("location.href=\"eebovod://12-1-1-X-%u6218%u8B66\""), std::string::npos);
  EXPECT_EQ(count_of(http.get(server->base()), "location.href"), 0u);
}

// --- Start and stop ------------------------------------------------------

TEST(ServerLife, StopsCleanlyOnSigterm) {
  TestServer server;
  ASSERT_TRUE(server->ready()) << server->output();
  const auto start = Clock::now();
  EXPECT_EQ(server->stop(), 0);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
}

TEST(ServerLife, BadCatalogueOrOptionsStopTheStartWithAReason) {
  ServerProcess server(ServerProcess::later);
  server.folder().write("bad.txt", "series 1\nname 一\nepisode 第1集 | ../up.mp4 | qvod\n");
  EXPECT_FALSE(server.start({"--catalogue", "bad.txt"}));
  EXPECT_EQ(server.exit_status(), 1);
  EXPECT_NE(server.output().find("line 3"), std::string::npos) << server.output();

  EXPECT_FALSE(server.start({"--catalogue", "nothing-here.txt"}));
  EXPECT_NE(server.output().find("nothing-here.txt"), std::string::npos) << server.output();

  EXPECT_FALSE(server.start({"--hang"}));
  EXPECT_EQ(server.exit_status(), 2);
  EXPECT_FALSE(server.start({"--delay-ms", "soon"}));
  EXPECT_EQ(server.exit_status(), 2);
}

// --- The catalogue that ships --------------------------------------------

// Media file names of the shipped catalogue, read the simple way.
std::vector<std::string> shipped_media_files() {
  std::ifstream in(std::string(TAVORI_SOURCE_DIR) + "/server/catalogue.txt");
  std::vector<std::string> files;
  std::string line;
  while (std::getline(in, line)) {
    const std::string t = trim_spaces(line);
    if (!starts_with(t, "episode")) continue;
    const std::vector<std::string> f = split(t, "|");
    if (f.size() >= 3) files.push_back(trim_spaces(f[1]));
  }
  return files;
}

TEST(ShippedCatalogue, CoversTheCasesTheClientMustHandle) {
  ServerProcess server(ServerProcess::later);
  std::filesystem::create_directories(server.folder().file("media"));
  const std::vector<std::string> files = shipped_media_files();
  ASSERT_FALSE(files.empty());
  for (const std::string& f : files) server.folder().write("media/" + f, "bytes of " + f);
  // No --catalogue: the copy next to the program.
  ASSERT_TRUE(server.start({"--media", "media", "--log", "pings.log"})) << server.output();

  IconvCodePage cp;
  CurlHttp http(cp);
  const std::string pages =
      http.get(server.base()) + http.get(server.base() + "/yy") + http.get(server.base() + "/tv");
  const std::regex lookup(R"re(href="eebovod://(\d+)-1-(\d+)-([^"]*)")re");
  std::map<std::string, std::set<int>> episodes;  // series -> episode numbers linked
  std::map<std::string, std::string> names;
  for (std::sregex_iterator it(pages.begin(), pages.end(), lookup), end; it != end; ++it) {
    episodes[(*it)[1]].insert(std::stoi((*it)[2]));
    names[(*it)[1]] = (*it)[3];
    EXPECT_EQ((*it)[3].str(), link("0", 0, urlUnescape((*it)[3].str())).substr(16))
        << "escaped as urlEscape does, dashes and slashes too";
  }
  ASSERT_GE(episodes.size(), 4u);

  bool dash = false, long_name = false, dollar_and = false;
  std::size_t pending = 0, qvod = 0, web = 0;
  for (const auto& [id, linked] : episodes) {
    const std::string name = urlUnescape(names[id]);
    dash |= contains(name, "-");
    dollar_and |= contains(name, "$") && contains(name, "&");
    long_name |= utf8_code_points(name).size() >= 30;
    EXPECT_GE(linked.size(), 3u) << name;
    EXPECT_LE(linked.size(), 6u) << name;
    EXPECT_EQ(*linked.rbegin() + 1, static_cast<int>(linked.size())) << name << ": 0..n-1";
    const bool series_pending = http.get(server.base() + "h.asp?id=" + id + "&v=1&v1=0") == "0";
    for (const int ep : linked) {
      const std::string reply =
          http.get(server.base() + "h.asp?id=" + id + "&v=1&v1=" + std::to_string(ep));
      if (reply == "0") {
        ++pending;
        continue;
      }
      const std::vector<std::string> parts = split(reply, "$");
      ASSERT_EQ(parts.size(), 3u) << reply;
      EXPECT_FALSE(parts[0].empty());
      if (parts[2] == "qvod") {
        ++qvod;
        EXPECT_TRUE(std::regex_match(parts[1], std::regex(R"(qvod://\d+\|[0-9A-F]{40}\|[^|]+\|)")))
            << parts[1];
      } else {
        ++web;
        EXPECT_EQ(parts[2], "web");
        EXPECT_TRUE(starts_with(parts[1], server.origin() + "/media/")) << parts[1];
        EXPECT_FALSE(http.get(parts[1]).empty()) << parts[1];
      }
    }
    EXPECT_EQ(
        http.get(server.base() + "h.asp?id=" + id + "&v=1&v1=" + std::to_string(linked.size())),
        series_pending ? "0" : "1")
        << name << ": one past the last episode";
  }
  EXPECT_TRUE(dash) << "a name with \"-\"";
  EXPECT_TRUE(dollar_and) << "a name with \"$\" and \"&\"";
  EXPECT_TRUE(long_name) << "a name of 30 characters or more";
  EXPECT_GE(pending, 1u) << "a pending series";
  EXPECT_GE(qvod, 1u);
  EXPECT_GE(web, 1u);
}

TEST_F(ServerTest, ThePlayerSuitesHomePageTellsHowToRegisterIt) {
  EXPECT_NE(get("../player/").find("regsvr32"), std::string::npos);
}

}  // namespace
}  // namespace tav
