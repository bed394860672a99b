// The installed program: `cmake --install` into a temporary prefix, the
// desktop entry validated, and the program started from the prefix by two
// users (each a home of their own) who each play a film against
// tavori-server under Xvfb and keep their own lists. The Debian package
// made by cpack from the same rules, checked by lintian and appstreamcli.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <regex>
#include <set>
#include <sstream>

#include "desktop_fixture.h"
#include "desktop_session.h"
#include "server_process.h"

namespace tav::test {
namespace {

namespace fs = std::filesystem;

// Runs a shell command; its exit status and what it printed.
std::pair<int, std::string> run(const std::string& command) {
  std::string out;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return {-1, ""};
  char buffer[4096];
  while (std::size_t n = fread(buffer, 1, sizeof buffer, p)) out.append(buffer, n);
  const int status = pclose(p);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string shell_quoted(const std::string& s) { return "'" + s + "'"; }

// One user of the installed program: a home, configuration, data and
// runtime folder of their own.
class User {
 public:
  User(const TempDir& root, const std::string& name, const Xvfb& x, std::string origin,
       std::string prefix)
      : x_(x), origin_(std::move(origin)), prefix_(std::move(prefix)) {
    home_ = root.file(name);
    for (const char* sub : {"", "/run", "/.config"}) fs::create_directories(home_ + sub);
    fs::permissions(home_ + "/run", fs::perms::owner_all);
  }
  ~User() { stop(); }

  void start(const std::vector<std::string>& args, const std::string& trace) {
    // Without an origin, the program finds its server itself.
    std::vector<std::string> argv = {prefix_ + "/bin/tavori", "--trace=" + home_ + "/" + trace};
    if (!origin_.empty()) argv.insert(argv.begin() + 1, "--server-base=" + origin_ + "/box/");
    argv.insert(argv.end(), args.begin(), args.end());
    pid_ = launch(argv,
                  {"DISPLAY=" + x_.display(), "HOME=" + home_, "XDG_CONFIG_HOME=" + home_ + "/.config",
                   "XDG_DATA_HOME=", "XDG_RUNTIME_DIR=" + home_ + "/run", "QTWEBENGINE_DISABLE_SANDBOX=1",
                   "QT_QPA_PLATFORM=xcb"},
                  home_, home_ + "/output.txt");
  }
  void stop() {
    end_group(pid_);
    pid_ = -1;
  }
  bool wait_traced(const std::string& trace, const std::string& part, double seconds) const {
    return wait_for([&] { return read_file(home_ + "/" + trace).find(part) != std::string::npos; }, seconds);
  }
  // The user's application folder.
  std::string folder() const { return home_ + "/.local/share/tavori"; }
  std::string file(const std::string& name) const { return read_file(folder() + "/" + name); }
  std::string registry() const { return read_file(home_ + "/.config/tavori-suite/registry.ini"); }
  std::string output() const { return read_file(home_ + "/output.txt"); }
  std::string trace(const std::string& name) const { return read_file(home_ + "/" + name); }

 private:
  const Xvfb& x_;
  std::string origin_;
  std::string prefix_;
  std::string home_;
  pid_t pid_ = -1;
};

class Installed : public ::testing::Test {
 protected:
  void SetUp() override {
    // `cmake --install` writes the list of installed files into the build
    // folder: keep the one a real installation left there.
    manifest_ = std::string(TAVORI_BUILD_DIR) + "/install_manifest.txt";
    if (fs::exists(manifest_)) saved_manifest_ = read_file(manifest_);
    prefix_ = root_.file("prefix");
  }
  void TearDown() override {
    if (saved_manifest_) {
      std::ofstream(manifest_, std::ios::binary | std::ios::trunc) << *saved_manifest_;
    } else {
      std::error_code ec;
      fs::remove(manifest_, ec);
    }
  }
  std::vector<std::string> manifest() const {
    std::vector<std::string> files;
    std::istringstream in(read_file(manifest_));
    for (std::string line; std::getline(in, line);)
      if (!line.empty()) files.push_back(line);
    return files;
  }

  TempDir root_;
  std::string prefix_;
  std::string manifest_;
  std::optional<std::string> saved_manifest_;
};

TEST_F(Installed, InstallsValidatesRunsForTwoUsersAndUninstalls) {
  const auto [installed, install_output] =
      run(shell_quoted(TAVORI_CMAKE) + " --install " + shell_quoted(TAVORI_BUILD_DIR) + " --prefix " + shell_quoted(prefix_));
  ASSERT_EQ(installed, 0) << install_output;

  const std::string lib = prefix_ + "/lib/tavori";
  for (const char* name : {"tavori", "regsvr32", "i.gif", "tavori-installed", "Qvod/QvodInsert.dll",
                           "Qvod/QvodTerminal.exe", "Qvod/QvodPlayer.exe",
                           "tavori-server", "catalogue.txt", "make_media.sh"})
    EXPECT_TRUE(fs::exists(lib + "/" + name)) << name;
  EXPECT_FALSE(fs::exists(lib + "/Qvod/QvodPlayer.xml"));
  // This build names no release key: its updater, which trusts the build's
  // test key, is left out.
  EXPECT_FALSE(fs::exists(lib + "/update.exe"));
  // Where a packager installs one, it leaves the program to the package
  // manager.
  fs::copy_file(std::string(TAVORI_APP_DIR) + "/update.exe", lib + "/update.exe");
  const auto [updated, update_output] =
      run(shell_quoted(lib + "/update.exe") + " --quiet --server-base=http://127.0.0.1:9/box/");
  EXPECT_EQ(updated, 3) << update_output;
  EXPECT_NE(update_output.find("请使用软件包管理器升级"), std::string::npos) << update_output;
  EXPECT_FALSE(fs::exists(lib + "/.update"));
  fs::remove(lib + "/update.exe");
  EXPECT_EQ(fs::canonical(prefix_ + "/bin/tavori"), fs::canonical(lib + "/tavori"));
  EXPECT_EQ(fs::canonical(prefix_ + "/bin/tavori-server"), fs::canonical(lib + "/tavori-server"));
  for (const char* size : {"48x48", "256x256"})
    EXPECT_TRUE(fs::exists(prefix_ + "/share/icons/hicolor/" + size + "/apps/tavori.png")) << size;

  const std::string desktop = prefix_ + "/share/applications/tavori.desktop";
  const auto [valid, complaints] = run("desktop-file-validate " + shell_quoted(desktop));
  EXPECT_EQ(valid, 0) << complaints;
  EXPECT_EQ(complaints, "");
  const std::string entry = read_file(desktop);
  EXPECT_NE(entry.find("\nExec=" + prefix_ + "/bin/tavori %U\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("x-scheme-handler/qvod;"), std::string::npos);
  EXPECT_NE(entry.find("video/mp4;"), std::string::npos);
  EXPECT_NE(entry.find("\nName[zh_CN]="), std::string::npos);
  // The desktop's file associations take the program for films and qvod links.
  TempDir applications;
  fs::copy_file(desktop, applications.file("tavori.desktop"));
  const auto [indexed, index_output] = run("update-desktop-database " + shell_quoted(applications.str()));
  ASSERT_EQ(indexed, 0) << index_output;
  const std::string cache = applications.read("mimeinfo.cache");
  for (const char* type : {"video/mp4", "video/x-matroska", "application/vnd.rn-realmedia", "x-scheme-handler/qvod"})
    EXPECT_NE(cache.find(std::string("\n") + type + "=tavori.desktop;"), std::string::npos) << type << "\n" << cache;

  // Two users play a film each, at the same time.
  Xvfb x;
  ASSERT_TRUE(x.ready());
  TempDir media;
  const std::string films[] = {media.file("甲 的片.mp4"), media.file("乙 的片.mp4")};
  for (const std::string& film : films) {
    const auto [made, ffmpeg] = run(
        "ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=160x120:rate=15:duration=30 "
        "-f lavfi -i sine=frequency=440:duration=30 -c:v libx264 -preset ultrafast -pix_fmt yuv420p "
        "-c:a aac -shortest -movflags +faststart " + shell_quoted(film));
    ASSERT_EQ(made, 0) << ffmpeg;
  }
  ServerProcess server(ServerProcess::later);
  ASSERT_TRUE(server.start({"--catalogue", lib + "/catalogue.txt", "--media", media.str()})) << server.output();

  User a(root_, "a", x, server.origin(), prefix_);
  // b names the server in the setting of its own (without the final "/").
  User b(root_, "b", x, "", prefix_);
  fs::create_directories(root_.file("b/.config/tavori"));
  std::ofstream(root_.file("b/.config/tavori/server")) << server.origin() << "/box\n";
  User* users[] = {&a, &b};
  // The first start makes the user's folder and registers the user's own
  // copy of the player library in the background.
  for (User* u : users) {
    u->start({}, "first-trace.txt");
    ASSERT_TRUE(u->wait_traced("first-trace.txt", "BA1 shown", 60)) << u->output();
    EXPECT_TRUE(wait_for([&] { return u->registry().find(u->folder() + "/Qvod/QvodInsert.dll") != std::string::npos; }, 30))
        << u->registry();
    u->stop();
  }
  for (int i = 0; i < 2; ++i) {
    users[i]->start({films[i]}, "trace.txt");
    ASSERT_TRUE(users[i]->wait_traced("trace.txt", "zhun caption 播放中(", 60))
        << users[i]->trace("trace.txt") << users[i]->output();
  }
  for (int i = 0; i < 2; ++i) {
    const User& u = *users[i];
    EXPECT_TRUE(wait_for([&] { return u.file("date_f.dat").size() > 2; }, 10));
    EXPECT_NE(u.file("date_f.dat").find(".mp4|" + media.str()), std::string::npos) << u.file("date_f.dat");
    EXPECT_TRUE(fs::exists(u.folder() + "/config.ini"));
    EXPECT_TRUE(fs::exists(u.folder() + "/c.htm"));
    EXPECT_TRUE(fs::exists(u.folder() + "/Qvod/QvodPlayer.xml"));
  }
  // Each keeps their own lists.
  EXPECT_NE(a.file("date_f.dat"), b.file("date_f.dat"));
  EXPECT_NE(a.folder(), b.folder());
  // Nothing was written beside the installed program.
  for (const char* name : {"config.ini", "date.dat", "date_f.dat", "c.htm", "f.htm", "Qvod/QvodPlayer.xml"})
    EXPECT_FALSE(fs::exists(lib + "/" + name)) << name;
  a.stop();
  b.stop();
  server.stop();

  // Pointed at the built-in address where nothing answers, the installed
  // program runs its demo server for the user, and ends it when it ends.
  const auto demo_servers = [&] {
    int n = 0;
    for (const auto& e : fs::directory_iterator("/proc")) {
      std::error_code ec;
      n += fs::read_symlink(e.path() / "exe", ec) == fs::path(lib + "/tavori-server");
    }
    return n;
  };
  if (run("bash -c 'exec 3<>/dev/tcp/127.0.0.1/8080'").first == 0) {
    std::printf("the built-in address 127.0.0.1:8080 answers: the demo server's start is not tried\n");
  } else {
    User c(root_, "c", x, "", prefix_);
    c.start({}, "trace.txt");
    EXPECT_TRUE(c.wait_traced("trace.txt", "page Web1 ", 60)) << c.trace("trace.txt") << c.output();
    EXPECT_TRUE(c.wait_traced("trace.txt", "山海长歌", 30)) << c.trace("trace.txt");
    EXPECT_EQ(demo_servers(), 1);
    // Its clips came with the installation: the first episode of the
    // library plays.
    EXPECT_TRUE(fs::exists(lib + "/media/山海长歌第1集.mp4"));
    const std::string trace = c.trace("trace.txt");
    const std::size_t page = trace.rfind("\npage Web1 ");
    const std::string line = page == std::string::npos ? "" : trace.substr(page + 1, trace.find('\n', page + 1) - page - 1);
    const std::size_t link = line.find(" eebovod://", line.rfind(" |"));
    ASSERT_NE(link, std::string::npos) << line;
    const auto episode = link_box(line, line.substr(link + 1, line.find(' ', link + 1) - link - 1));
    ASSERT_TRUE(episode) << line;
    run("DISPLAY=" + x.display() + " xdotool mousemove " + std::to_string(episode->cx()) + " " +
        std::to_string(episode->cy()) + " click 1");
    EXPECT_TRUE(c.wait_traced("trace.txt", "zhun caption 播放中(", 60)) << c.trace("trace.txt");
    c.stop();
    EXPECT_TRUE(wait_for([&] { return demo_servers() == 0; }, 10));
  }

  // Uninstalling: every file the manifest lists goes, and nothing else of
  // the prefix is left but empty folders.
  for (const std::string& file : manifest()) {
    EXPECT_EQ(file.rfind(prefix_ + "/", 0), 0u) << file;
    std::error_code ec;
    fs::remove(file, ec);
  }
  std::vector<std::string> left;
  for (const auto& e : fs::recursive_directory_iterator(prefix_))
    if (!e.is_directory()) left.push_back(e.path().string());
  EXPECT_TRUE(left.empty()) << left.front();
}

// Lines of lintian's report that are errors or warnings.
std::string lintian_complaints(const std::string& report) {
  std::string complaints;
  std::istringstream in(report);
  for (std::string line; std::getline(in, line);)
    if (line.rfind("E: ", 0) == 0 || line.rfind("W: ", 0) == 0) complaints += line + "\n";
  return complaints;
}

std::string control_field(const std::string& control, const std::string& name) {
  std::smatch m;
  if (!std::regex_search(control, m, std::regex("(^|\n)" + name + ": ([^\n]*)"))) return {};
  return m[2];
}

TEST_F(Installed, DebianPackageIsCleanAndListedBySoftwareCentres) {
  // The package and its debugging symbols, made in a folder of the test's own.
  TempDir out;
  const auto [made, cpack_output] = run("cd " + shell_quoted(TAVORI_BUILD_DIR) + " && " + shell_quoted(TAVORI_CPACK) +
                                        " -G DEB -B " + shell_quoted(out.str()));
  ASSERT_EQ(made, 0) << cpack_output;
  const std::string version = TAVORI_VERSION;
  const std::string deb = out.file("tavori_" + version + "_amd64.deb");
  const std::string ddeb = out.file("tavori-dbgsym_" + version + "_amd64.ddeb");
  ASSERT_TRUE(fs::exists(deb)) << cpack_output;
  ASSERT_TRUE(fs::exists(ddeb)) << cpack_output;

  // Debian's own check, its default profile: no error, no warning.
  const auto [checked, report] = run("lintian " + shell_quoted(deb) + " " + shell_quoted(ddeb));
  EXPECT_EQ(lintian_complaints(report), "") << report;
  EXPECT_NE(checked, 127) << report;

  const auto [read, control] = run("dpkg-deb -f " + shell_quoted(deb));
  ASSERT_EQ(read, 0) << control;
  EXPECT_EQ(control_field(control, "Version"), version);
  EXPECT_EQ(control_field(control, "Maintainer"), "Tavori developers <developers@tavori.org>");
  // What the programs load themselves besides what they link.
  const std::string depends = control_field(control, "Depends");
  for (const char* package : {"libmpv2", "qt6-wayland", "libqt6webenginecore6", "libqt6webenginewidgets6"})
    EXPECT_TRUE(std::regex_search(depends, std::regex(std::string("(^|, )") + package + "( |,|$)"))) << package << ": " << depends;

  TempDir tree, symbols;
  ASSERT_EQ(run("dpkg-deb -x " + shell_quoted(deb) + " " + shell_quoted(tree.str())).first, 0);
  ASSERT_EQ(run("dpkg-deb -x " + shell_quoted(ddeb) + " " + shell_quoted(symbols.str())).first, 0);
  // The changelog's newest entry is this version.
  const auto [unzipped, changelog] = run("zcat " + shell_quoted(tree.file("usr/share/doc/tavori/changelog.gz")));
  EXPECT_EQ(changelog.rfind("tavori (" + version + ") ", 0), 0u) << changelog;
  // Every program is stripped, and its symbols are in the other package
  // under its build id.
  for (const char* program : {"tavori", "tavori-server", "regsvr32", "Qvod/QvodTerminal.exe",
                              "Qvod/QvodPlayer.exe", "Qvod/QvodInsert.dll"}) {
    const std::string path = tree.file(std::string("usr/lib/tavori/") + program);
    const std::string notes = run("readelf -n " + shell_quoted(path)).second;
    std::smatch id;
    ASSERT_TRUE(std::regex_search(notes, id, std::regex("Build ID: ([0-9a-f]{2})([0-9a-f]+)"))) << program << notes;
    const std::string debug = symbols.file("usr/lib/debug/.build-id/" + id[1].str() + "/" + id[2].str() + ".debug");
    EXPECT_NE(run("readelf -S " + shell_quoted(debug)).second.find(".debug_info"), std::string::npos) << program;
    EXPECT_EQ(run("readelf -S " + shell_quoted(path)).second.find(".symtab"), std::string::npos) << program;
  }

  // The software centres' entry: valid, the names of both languages, this
  // version, and the screenshot the source tree keeps at the size it says.
  const std::string metainfo = tree.file("usr/share/metainfo/org.tavori.Tavori.metainfo.xml");
  const auto [valid, notes] = run("appstreamcli validate --no-net " + shell_quoted(metainfo));
  EXPECT_EQ(valid, 0) << notes;
  EXPECT_FALSE(std::regex_search(notes, std::regex("(^|\n)[EW]: "))) << notes;
  const std::string entry = read_file(metainfo);
  EXPECT_NE(entry.find("<launchable type=\"desktop-id\">tavori.desktop</launchable>"), std::string::npos);
  EXPECT_TRUE(fs::exists(tree.file("usr/share/applications/tavori.desktop")));
  EXPECT_NE(entry.find("<name xml:lang=\"zh_CN\">"), std::string::npos);
  std::smatch release;
  ASSERT_TRUE(std::regex_search(entry, release, std::regex("<release version=\"([^\"]+)\"")));
  EXPECT_EQ(release[1], version) << "the newest release comes first";
  std::smatch shot;
  ASSERT_TRUE(std::regex_search(entry, shot, std::regex(R"re(<image type="source" width="(\d+)" height="(\d+)">https://tavori\.org/screenshots/([^<]+)</image>)re")));
  const std::string png = read_file(std::string(TAVORI_SOURCE_DIR) + "/packaging/screenshots/" + shot[3].str());
  ASSERT_GT(png.size(), 24u) << shot[3];
  const auto be32 = [&](std::size_t at) {
    return (static_cast<unsigned char>(png[at]) << 24) | (static_cast<unsigned char>(png[at + 1]) << 16) |
           (static_cast<unsigned char>(png[at + 2]) << 8) | static_cast<unsigned char>(png[at + 3]);
  };
  EXPECT_EQ(png.substr(1, 3), "PNG");
  EXPECT_EQ(std::to_string(be32(16)), shot[1].str());
  EXPECT_EQ(std::to_string(be32(20)), shot[2].str());

  for (const char* page : {"tavori.1.gz", "tavori-server.1.gz"})
    EXPECT_TRUE(fs::exists(tree.file(std::string("usr/share/man/man1/") + page))) << page;
  EXPECT_TRUE(fs::exists(tree.file("usr/share/doc/tavori/examples/nginx/tavori.conf")));
}

}  // namespace
}  // namespace tav::test
