// The content side on nginx: tavori-server --export writes the site, nginx
// serves it with packaging/nginx/tavori.conf (Debian's nginx, a process of
// the test's own on a free loopback port), and every address answers as
// tavori-server answers it on the same catalogue; the client's logic
// (tavori-sim over libcurl) and the player suite's service then go through
// a journey against it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/posix/curl_http.h"
#include "platform/posix/iconv_code_page.h"
#include "../suite/suite_service.h"
#include "server_process.h"
#include "web/text_routines.h"

#ifndef TAVORI_NGINX_CONF
#error "TAVORI_NGINX_CONF must name packaging/nginx/tavori.conf"
#endif

namespace tav {
namespace {

namespace fs = std::filesystem;
using test::raw_get;
using test::RawReply;
using test::ServerProcess;
using test::TempDir;
using Clock = std::chrono::steady_clock;

constexpr const char* kNginx = "/usr/sbin/nginx";

// Separators in names, labels and files; a series without its film; a
// pending one.
constexpr const char* kCatalogue = R"(series 11
name    测试剧
shelf   library hot
episode 第1集 | t-01.mp4 | qvod
episode 第2集 | t-02.mp4 | web
episode 第3集 | 测试剧第3集.mp4 | web

series 12
name    X-战警/外传
shelf   library tv
episode 第1集 50%&更多 | x 01#.mp4 | qvod
episode 第2集 | x-02.mp4 | web | 正在播出：外传

series 13
name    等待中
shelf   library
status  pending
episode 第1集 | p-01.mp4 | qvod

series 15
name    缺片
shelf   library
episode 第1集 | missing.mp4 | qvod
)";

std::string pattern_bytes(std::size_t n, unsigned salt) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + salt) % 251);
  return s;
}

// In a child just forked: the program with its output and errors in the
// output file and env added to the environment, ended with the test. Run
// in folder when one is named (and then not at all without its output).
[[noreturn]] void exec_child(const std::vector<std::string>& args, const std::string& output,
                             const std::vector<std::string>& env, const std::string& folder = {}) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (!folder.empty() && (fd < 0 || chdir(folder.c_str()) != 0)) _exit(126);
  if (fd >= 0) {
    dup2(fd, 1);
    dup2(fd, 2);
  }
  for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(argv[0], argv.data());
  _exit(127);
}

// Runs a program to its end: its exit status and everything it printed.
std::pair<int, std::string> run(const std::vector<std::string>& args, const std::string& folder,
                                const std::vector<std::string>& env = {}) {
  const std::string out = folder + "/run-output.txt";
  const pid_t pid = fork();
  if (pid == 0) exec_child(args, out, env, folder);
  int status = 0;
  waitpid(pid, &status, 0);
  std::ifstream in(out, std::ios::binary);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(std::istreambuf_iterator<char>(in), {})};
}

// A program running beside the test, ended with SIGTERM.
class Child {
 public:
  Child() = default;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() { stop(); }
  void start(const std::vector<std::string>& args, const std::string& output,
             const std::vector<std::string>& env = {}) {
    pid_ = fork();
    if (pid_ == 0) exec_child(args, output, env);
  }
  bool running() {
    int status = 0;
    if (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_) pid_ = -1;
    return pid_ > 0;
  }
  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 500 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

int free_port() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

bool answers(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

std::string replaced_once(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << "tavori.conf has no \"" << from << "\"";
  EXPECT_EQ(text.find(from, at + 1), std::string::npos) << "tavori.conf has \"" << from << "\" twice";
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

std::string regex_escape(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) out += '\\';
    out += c;
  }
  return out;
}

// The catalogue and its media, tavori-server serving them, and nginx
// serving their export: made once for the suite.
class NginxSite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { site_ = new Site(); }
  static void TearDownTestSuite() {
    delete site_;
    site_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(site_->live.ready()) << site_->live.output();
    ASSERT_GT(site_->port, 0) << site_->failure;
  }

  struct Site {
    TempDir dir;
    ServerProcess live{ServerProcess::later};
    Child nginx;
    int port = 0;
    std::string failure;

    Site() {
      // The web server's workers may run as another user.
      fs::permissions(dir.str(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
      fs::create_directories(dir.file("media"));
      fs::create_directories(dir.file("release"));
      dir.write("catalogue.txt", kCatalogue);
      dir.write("media/t-01.mp4", pattern_bytes(300000, 1));
      dir.write("media/t-02.mp4", "web episode bytes");
      dir.write("media/测试剧第3集.mp4", "third episode");
      dir.write("media/x 01#.mp4", pattern_bytes(5000, 2));
      dir.write("media/x-02.mp4", "x two");
      dir.write("media/p-01.mp4", "pending bytes");
      dir.write("media/extra.mkv", "not in the catalogue, served all the same");
      dir.write("media/.hidden.mp4", "a dot file");
      dir.write("secret.txt", "not for the network");
      fs::create_symlink("../secret.txt", dir.file("media/leak.mp4"));
      dir.write("release/release.txt", "a manifest, served as it is\n");
      dir.write("release/tavori-9.9.tvr", pattern_bytes(2000, 3));
      dir.write("release/notes.txt", "not served");
      const std::vector<std::string> content = {"--catalogue", dir.file("catalogue.txt"), "--media",
                                                dir.file("media"), "--release", dir.file("release")};
      std::vector<std::string> live_args = content;
      live_args.insert(live_args.end(), {"--log", "pings.log"});
      live.start(live_args);

      if (!fs::exists(kNginx)) {
        failure = std::string(kNginx) + " is missing: tools/install-deps installs Debian's nginx";
        return;
      }
      // nginx on a free port, the export naming it; another port when
      // that one was taken meanwhile.
      for (int attempt = 0; attempt < 3 && port == 0; ++attempt) {
        const int p = free_port();
        std::vector<std::string> args = {TAVORI_SERVER_BINARY, "--export", dir.file("site"), "--origin",
                                         "http://127.0.0.1:" + std::to_string(p)};
        args.insert(args.end(), content.begin(), content.end());
        const auto [status, output] = run(args, dir.str());
        if (status != 0) {
          failure = "export: " + output;
          return;
        }
        if (start_nginx(p)) port = p;
      }
    }

    bool start_nginx(int p) {
      std::ifstream in(TAVORI_NGINX_CONF);
      std::string conf(std::istreambuf_iterator<char>(in), {});
      conf = replaced_once(conf, "    listen 80;\n", "    listen 127.0.0.1:" + std::to_string(p) + ";\n");
      conf = replaced_once(conf, "    listen [::]:80;\n", "");
      conf = replaced_once(conf, "root /var/www/tavori;", "root " + dir.file("site") + ";");
      conf = replaced_once(conf, "/var/log/nginx/tavori.access.log", dir.file("access.log"));
      conf = replaced_once(conf, "/var/log/nginx/tavori.error.log", dir.file("error.log"));
      dir.write("tavori.conf", conf);
      std::string main = "daemon off;\nworker_processes 1;\npid " + dir.file("nginx.pid") + ";\n";
      // As root its workers run as nobody, as the packaged server's run as
      // a user of their own: the export must be readable by anyone.
      if (geteuid() == 0) main += "user nobody nogroup;\n";
      main += "events { worker_connections 64; }\nhttp {\n";
      for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
        main += std::string("  ") + temp + "_temp_path " + dir.file(std::string("nginx-") + temp) + ";\n";
      main += "  include " + dir.file("tavori.conf") + ";\n}\n";
      dir.write("nginx.conf", main);
      dir.write("error.log", "");
      nginx.start({kNginx, "-p", dir.str(), "-e", dir.file("error.log"), "-c", dir.file("nginx.conf")},
                  dir.file("nginx-output.txt"));
      const auto deadline = Clock::now() + std::chrono::seconds(10);
      while (Clock::now() < deadline) {
        if (answers(p)) return true;
        if (!nginx.running()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      failure = "nginx: " + dir.read("nginx-output.txt") + dir.read("error.log");
      nginx.stop();
      return false;
    }
  };

  static std::string origin() { return "http://127.0.0.1:" + std::to_string(site_->port); }
  static std::string base() { return origin() + "/box/"; }
  static const TempDir& dir() { return site_->dir; }
  static Site* site_;

  IconvCodePage code_page_;
  CurlHttp http_{code_page_};
};

NginxSite::Site* NginxSite::site_ = nullptr;

// --- The export ----------------------------------------------------------

TEST_F(NginxSite, EveryAddressAnswersAsTavoriServerDoes) {
  const int live = site_->live.port();
  std::vector<std::string> targets = {
      "/", "/box", "/box/", "/box//yy", "/box/yy", "/box//tv", "/box/tv", "/player/",
      "/box/js/ads/qvodad.html", "/box/js/ads/fudong.html", "/box/js/ads/tui.html",
      "/box/js/ads/other.html", "/box/lib/wen.txt", "/box/play.htm?web$$$http%3A//x/y.mp4",
      "/box/update/update.exe", "/box/update/release.txt", "/box/update/tavori-9.9.tvr",
      "/box/update/notes.txt", "/box/nothing-here.asp", "/elsewhere",
      // Episode replies: every episode, one past the last, padded numbers,
      // unknown and pending series, malformed requests.
      "/box/h.asp?id=13&v=1&v1=0", "/box/h.asp?id=13&v=1&v1=99", "/box/h.asp?id=15&v=1&v1=0",
      "/box/h.asp?id=0011&v=01&v1=002", "/box/h.asp?v1=0&v=1&id=12", "/box/h.asp?id=999&v=1&v1=0",
      "/box/h.asp?id=99999999999999999999&v=1&v1=0", "/box/h.asp?id=11&v=1&v1=99999999999999999999",
      "/box/h.asp", "/box/h.asp?id=11&v=1", "/box/h.asp?id=11&v1=0", "/box/h.asp?id=&v=1&v1=0",
      "/box/h.asp?id=abc&v=1&v1=0", "/box/h.asp?id=11&v=1&v1=-1", "/box/h.asp?id=11&v=x&v1=0",
      // Episode pages: playing, last watched, both, neither, names with
      // dashes, a name cut short by "#", an unknown series, bad queries.
      "/box/pp.htm?11-1-0-%E6%B5%8B-0", "/box/pp.htm?11-1-2-name-11", "/box/pp.htm?11-1-9-name-12",
      "/box/pp.htm?11-1-1-name-19", "/box/pp.htm?11-01-1-name-011", "/box/pp.htm?11-0-1-name-00",
      "/box/pp.htm?011-1-01-a-b-c-10", "/box/pp.htm?12-1-1-X-%u6218-11", "/box/pp.htm?12-1-0-X",
      "/box/pp.htm?11-1-1-name-1x", "/box/pp.htm", "/box/pp.htm?abc", "/box/pp.htm?11-1-0",
      "/box/pp.htm?11-x-0-name-0",
      // The ping.
      "/box/tj/tj.asp?id=AA-BB-CC-DD-EE-FF", "/box/tj/tj.asp?x=1&id=", "/box/tj/tj.asp",
      // Media and seeds; names the live server refuses.
      "/media/t-02.mp4", "/media/%E6%B5%8B%E8%AF%95%E5%89%A7%E7%AC%AC3%E9%9B%86.mp4",
      "/media/x%2001%23.mp4", "/media/extra.mkv", "/media/missing.mp4", "/media/leak.mp4",
      "/media/", "/seed/abc",
      "/seed/0000000000000000000000000000000000000000"};
  for (int series : {11, 12})
    for (int ep = 0; ep <= 2; ++ep)
      targets.push_back("/box/h.asp?id=" + std::to_string(series) + "&v=1&v1=" + std::to_string(ep));
  // The seeds, by the hashes the qvod replies name, in both cases.
  for (const char* q : {"/box/h.asp?id=11&v=1&v1=0", "/box/h.asp?id=12&v=1&v1=0"}) {
    const std::vector<std::string> parts = split(raw_get(live, q).body, "|");
    ASSERT_EQ(parts.size(), 4u) << q;
    targets.push_back("/seed/" + parts[1]);
    targets.push_back("/seed/" + ascii_lower(parts[1]));
  }
  const std::vector<std::string> ranges = {"", "Range: bytes=10-19\r\n", "Range: bytes=4990-\r\n",
                                           "Range: bytes=-5\r\n", "Range: bytes=0-1,5-6\r\n",
                                           "Range: bytes=400000-\r\n"};
  std::size_t compared = 0;
  for (const std::string& target : targets) {
    const bool file = starts_with(target, "/media/") || starts_with(target, "/seed/") ||
                      starts_with(target, "/box/update/");
    // Pages and texts come whole whatever the Range says.
    for (const std::string& range : file ? ranges : std::vector<std::string>{"", ranges[1]}) {
      const RawReply want = raw_get(live, target, range);
      const RawReply got = raw_get(site_->port, target, range);
      const std::string what = target + " " + range;
      ASSERT_NE(want.status, 0) << what;
      ASSERT_EQ(got.status, want.status) << what << got.head;
      ++compared;
      if (want.status / 100 == 3) {
        EXPECT_EQ(got.header("Location"), want.header("Location")) << what;
        continue;
      }
      EXPECT_EQ(got.header("Content-Range"), want.header("Content-Range")) << what;
      if (want.status == 416) continue;  // what else a 416 says is nobody's business
      EXPECT_EQ(got.header("Content-Type"), want.header("Content-Type")) << what;
      if (want.status / 100 == 2) {
        EXPECT_EQ(got.header("Cache-Control"), want.header("Cache-Control")) << what;
        EXPECT_EQ(got.header("Content-Disposition"), want.header("Content-Disposition")) << what;
      }
      // The web films' addresses name the server they are on.
      EXPECT_EQ(got.body, replace_all(want.body, site_->live.origin(), origin())) << what;
    }
  }
  EXPECT_GT(compared, 150u);

  // The one difference: the page of an unknown series cannot repeat the
  // name the request gave.
  const RawReply unknown = raw_get(site_->port, "/box/pp.htm?77-1-0-%E6%B5%8B-0");
  EXPECT_EQ(unknown.status, 404);
  EXPECT_NE(unknown.body.find("没有找到这部剧"), std::string::npos);

  // What the live server refuses is neither exported nor served.
  for (const char* target : {"/media/.hidden.mp4", "/media/../secret.txt", "/media/..%2Fsecret.txt",
                             "/seed/..%2F..%2Fsecret.txt", "/box/h/11/0.txt", "/box/pp/none.html",
                             "/errors/404.html", "/.tavori-export"}) {
    const RawReply r = raw_get(site_->port, target);
    EXPECT_EQ(r.status / 100, 4) << target << " " << r.head;
    EXPECT_EQ(r.body.find("not for the network"), std::string::npos) << target;
  }
  for (const char* name : {"media/leak.mp4", "media/.hidden.mp4", "box/update/notes.txt"})
    EXPECT_FALSE(fs::exists(dir().file("site/" + std::string(name)))) << name;
}

TEST_F(NginxSite, ExportReplacesOnlyAnExportAndRefusesBadOptions) {
  const std::string server = TAVORI_SERVER_BINARY;
  const std::vector<std::string> content = {"--catalogue", dir().file("catalogue.txt"), "--media",
                                            dir().file("media"), "--origin", "https://vod.example.org"};
  TempDir work;
  // Into a folder that does not exist yet, then again over it: the second
  // export is whole and alone (a file left in the first one goes).
  std::vector<std::string> args = {server, "--export", work.file("out")};
  args.insert(args.end(), content.begin(), content.end());
  auto [status, output] = run(args, work.str());
  ASSERT_EQ(status, 0) << output;
  EXPECT_NE(output.find("4 series"), std::string::npos) << output;
  EXPECT_EQ(work.read("out/box/h/11/1.txt"), "第2集$https://vod.example.org/media/t-02.mp4$web");
  work.write("out/box/stale.html", "from before");
  std::tie(status, output) = run(args, work.str());
  ASSERT_EQ(status, 0) << output;
  EXPECT_FALSE(work.exists("out/box/stale.html"));
  EXPECT_TRUE(work.exists("out/box/index.html"));
  std::set<std::string> left;
  for (const auto& e : fs::directory_iterator(work.str())) left.insert(e.path().filename().string());
  EXPECT_EQ(left, (std::set<std::string>{"out", "run-output.txt"})) << "no folder left beside it";

  // A folder of someone else's files is left as it is.
  fs::create_directories(work.file("theirs"));
  work.write("theirs/index.html", "their site");
  args[2] = work.file("theirs");
  std::tie(status, output) = run(args, work.str());
  EXPECT_EQ(status, 1) << output;
  EXPECT_NE(output.find("nothing exported"), std::string::npos) << output;
  EXPECT_EQ(work.read("theirs/index.html"), "their site");
  EXPECT_EQ(fs::directory_iterator(work.file("theirs"))->path().filename(), "index.html");

  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{server, "--origin", "http://x.org"},
        {server, "--export", work.file("o"), "--origin", "ftp://x.org"},
        {server, "--export", work.file("o"), "--origin", "http://x.org/box/"},
        {server, "--export", work.file("o"), "--origin", "http://x.org:99999"},
        {server, "--export", work.file("o"), "--port", "0"},
        {server, "--export", work.file("o"), "--hang", "/box/h.asp"},
        {server, "--export", work.file("o"), "--follow", "eebovod://1-1-0-a"}}) {
    std::tie(status, output) = run(bad, work.str());
    EXPECT_EQ(status, 2) << bad[1] << " " << bad.back() << ": " << output;
    EXPECT_FALSE(work.exists("o"));
  }
}

// --- A journey on nginx ----------------------------------------------------

// What tavori-sim printed: the lines of its effects that match.
std::vector<std::smatch> effects(const std::string& output, const std::regex& line) {
  std::vector<std::smatch> found;
  for (std::sregex_iterator it(output.begin(), output.end(), line), end; it != end; ++it)
    found.push_back(*it);
  return found;
}

TEST_F(NginxSite, ClientAndPlayerSuiteGoThroughAJourney) {
  // The library page, as the library panel loads it.
  const std::string library = http_.get(base());
  const std::string qvod_link = "eebovod://11-1-0-" + urlEscape("测试剧");
  const std::string web_link = "eebovod://12-1-1-X%2D%u6218%u8B66%2F%u5916%u4F20";
  ASSERT_NE(library.find("href=\"" + qvod_link + "\""), std::string::npos) << library;
  ASSERT_NE(library.find("href=\"" + web_link + "\""), std::string::npos);

  // The program's logic over libcurl: start-up (the version file), a qvod
  // film and the next episode fetched and buffered ahead, then a web film.
  dir().write("journey.sim", "start\nadvance 7000\nnavigate Web1 " + qvod_link +
                                 "\nmedia qvod:// 20\nadvance 3000\nnavigate Web1 " + web_link + "\n");
  const auto [status, sim] = run({TAVORI_SIM_BINARY, "--quiet", "--real-http", "--server", base(),
                                  dir().file("journey.sim")},
                                 dir().str());
  ASSERT_EQ(status, 0) << sim;
  const std::string q = regex_escape(base());
  EXPECT_EQ(effects(sim, std::regex("fetch " + q + "lib/wen\\.txt -> \"0====0====0====1\\.0\"")).size(), 1u) << sim;
  const auto qvod = effects(sim, std::regex("fetch " + q + "h\\.asp\\?id=11&v=1&v1=0 -> \"第1集\\$(qvod://300000\\|([0-9A-F]{40})\\|t-01\\.mp4\\|)\\$qvod\""));
  ASSERT_EQ(qvod.size(), 1u) << sim;
  const std::string address = qvod[0][1];
  EXPECT_NE(sim.find("player put 1 \"" + address + "\""), std::string::npos) << sim;
  EXPECT_NE(sim.find("navigate Web4 " + base() + "pp.htm?11-1-0-测试剧-0"), std::string::npos) << sim;
  const std::string next = origin() + "/media/t-02.mp4";
  EXPECT_NE(sim.find("fetch " + base() + "h.asp?id=11&v=1&v1=1 -> \"第2集$" + next + "$web\""), std::string::npos) << sim;
  EXPECT_NE(sim.find("player call 30 \"" + next + "\""), std::string::npos) << "buffered ahead\n" << sim;
  const auto web = effects(sim, std::regex("navigate Web2 (" + q + "play\\.htm\\?web\\$\\$\\$[^\\n]*)"));
  ASSERT_EQ(web.size(), 1u) << sim;
  const auto ping = effects(sim, std::regex("navigate Web6 (" + q + "tj/tj\\.asp\\?id=([^\\n]+))"));
  ASSERT_EQ(ping.size(), 1u) << sim;

  // The panels' loads: the episode page marks the film, the web film's
  // page plays its address, the hidden panel's ping is answered empty.
  const std::string episodes = http_.get(base() + "pp.htm?11-1-0-测试剧-0");
  EXPECT_NE(episodes.find("class=\"row current\" href=\"" + qvod_link + "\""), std::string::npos) << episodes;
  const std::string player = http_.get(web[0][1].str());
  EXPECT_NE(player.find("<video"), std::string::npos);
  const std::string film = origin() + "/media/x-02.mp4";
  EXPECT_NE(web[0][1].str().find(urlEscape(film)), std::string::npos) << web[0][1];
  const RawReply part = raw_get(site_->port, "/media/x-02.mp4", "Range: bytes=2-\r\n");
  EXPECT_EQ(part.status, 206);
  EXPECT_EQ(part.body, "two");
  const RawReply pinged = raw_get(site_->port, ping[0][1].str().substr(origin().size()));
  EXPECT_EQ(pinged.status, 200);
  EXPECT_EQ(pinged.body, "");

  // The player suite's service downloads the qvod film from the seeds
  // and checks it against its hash.
  const suite_test::ServiceFolders suite(dir().file("suite"), TAVORI_TERMINAL_BINARY,
                                         origin() + "/seed/");
  Child terminal;
  terminal.start({(suite.folder / "QvodTerminal.exe").string()}, dir().file("suite/terminal.txt"),
                 {suite.environment()});
  std::vector<std::string> endpoint;
  for (int i = 0; i < 500 && endpoint.size() != 3; ++i) {
    endpoint = split(trim_spaces(dir().read("suite/run/tavori-suite/QvodTerminal.endpoint")), " ");
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(endpoint.size(), 3u) << dir().read("suite/terminal.txt");
  const int service = std::atoi(endpoint[0].c_str());
  EXPECT_EQ(raw_get(service, suite_test::service_ask(endpoint[1], "fetch", address)).status, 200);
  std::string state;
  for (int i = 0; i < 1000 && !starts_with(state, "complete") && !starts_with(state, "failed"); ++i) {
    state = raw_get(service, suite_test::service_ask(endpoint[1], "status", address)).body;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(starts_with(state, "complete 300000 300000")) << state;
  EXPECT_EQ(dir().read("suite/save/t-01.mp4"), pattern_bytes(300000, 1));
  terminal.stop();

  // nginx's access log has the ping, the seed the service read and the
  // lookups of the program.
  const std::string log = dir().read("access.log");
  EXPECT_NE(log.find("\"GET /box/tj/tj.asp?id=" + ping[0][2].str() + " HTTP/1.1\" 200 0"), std::string::npos) << log;
  EXPECT_NE(log.find("\"GET /seed/" + qvod[0][2].str() + " HTTP/1.1\" 20"), std::string::npos) << log;
  EXPECT_NE(log.find("\"GET /box/h.asp?id=11&v=1&v1=1 HTTP/1.1\" 200"), std::string::npos) << log;
}

}  // namespace
}  // namespace tav
