// Which folder the desktop client keeps its files in: the program's own, or,
// for an installed program, each user's own made from the installed files.
#include "app/app_folder.h"
#include "app/content_server.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "temp_dir.h"

namespace tav::test {
namespace {

namespace fs = std::filesystem;

class AppFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_home_ = std::getenv("HOME") ? std::getenv("HOME") : "";
    saved_data_ = std::getenv("XDG_DATA_HOME");
    installed_ = dir_.file("prefix/lib/tavori");
    fs::create_directories(installed_ + "/Qvod/sub");
    dir_.write("prefix/lib/tavori/tavori-installed", "installed\n");
    dir_.write("prefix/lib/tavori/i.gif", "GIF89a");
    dir_.write("prefix/lib/tavori/regsvr32", "#!/bin/sh\n");
    dir_.write("prefix/lib/tavori/Qvod/QvodInsert.dll", "library 1");
    dir_.write("prefix/lib/tavori/Qvod/QvodTerminal.exe", "terminal");
    dir_.write("prefix/lib/tavori/Qvod/sub/data.bin", "data");
    dir_.write("prefix/lib/tavori/Qvod/QvodPlayer.xml", "<QvodPlayer Defaultsavepath=\"/root/\" />");
    fs::permissions(installed_ + "/Qvod/QvodTerminal.exe", fs::perms::owner_exec, fs::perm_options::add);
  }
  void TearDown() override {
    setenv("HOME", saved_home_.c_str(), 1);
    if (saved_data_) setenv("XDG_DATA_HOME", saved_data_, 1);
    else unsetenv("XDG_DATA_HOME");
  }
  // Runs as the user whose home is home/<name>.
  std::string as_user(const std::string& name) {
    setenv("HOME", dir_.file("home/" + name).c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    return dir_.file("home/" + name + "/.local/share/tavori");
  }
  std::string read(const std::string& path) const { return read_file_text(path); }
  static std::string read_file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  TempDir dir_;
  std::string installed_;
  std::string saved_home_;
  const char* saved_data_ = nullptr;
};

TEST_F(AppFolder, AWritableProgramFolderWithoutTheMarkerIsTheApplicationFolder) {
  const std::string build = dir_.file("build/app");
  fs::create_directories(build);
  const std::string user = as_user("dev");
  const app::FolderChoice choice = app::choose_app_folder(build);
  EXPECT_EQ(choice.folder, build);
  EXPECT_TRUE(choice.error.empty());
  EXPECT_FALSE(fs::exists(user));
}

TEST_F(AppFolder, AnInstalledProgramGivesEachUserAPrivateFolderOfTheirOwn) {
  const std::string a = as_user("a");
  // A folder left open to others (an older version, a restored backup) is
  // closed again.
  fs::create_directories(a + "/Qvod");
  fs::permissions(a, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                         fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(a + "/Qvod", fs::perms::all);
  const app::FolderChoice first = app::choose_app_folder(installed_);
  ASSERT_EQ(first.folder, a) << first.error;
  const std::string b = as_user("b");
  const app::FolderChoice second = app::choose_app_folder(installed_);
  ASSERT_EQ(second.folder, b) << second.error;

  for (const std::string& user : {a, b}) {
    EXPECT_EQ(fs::status(user).permissions() & fs::perms::all, fs::perms::owner_all) << user;
    EXPECT_EQ(fs::status(user + "/Qvod").permissions() & fs::perms::all, fs::perms::owner_all);
    // The program's files beside it, through links.
    EXPECT_EQ(fs::read_symlink(user + "/i.gif"), installed_ + "/i.gif");
    EXPECT_EQ(fs::read_symlink(user + "/regsvr32"), installed_ + "/regsvr32");
    // The suite's files copied, so that the library's folder is the user's.
    EXPECT_FALSE(fs::is_symlink(user + "/Qvod/QvodInsert.dll"));
    EXPECT_EQ(read(user + "/Qvod/QvodInsert.dll"), "library 1");
    EXPECT_EQ(read(user + "/Qvod/sub/data.bin"), "data");
    EXPECT_NE(fs::status(user + "/Qvod/QvodTerminal.exe").permissions() & fs::perms::owner_exec, fs::perms::none);
    // The suite's settings are each user's own: not the installed ones.
    EXPECT_FALSE(fs::exists(user + "/Qvod/QvodPlayer.xml"));
  }
}

TEST_F(AppFolder, XdgDataHomeChoosesTheFolderOnlyWhenAbsolute) {
  const std::string home_default = as_user("c");
  setenv("XDG_DATA_HOME", dir_.file("data").c_str(), 1);
  EXPECT_EQ(app::user_data_folder(), dir_.file("data/tavori"));
  setenv("XDG_DATA_HOME", "relative/data", 1);
  EXPECT_EQ(app::user_data_folder(), home_default);
}

TEST_F(AppFolder, ANewerInstallationIsCopiedAgainAndTheUsersOwnFilesAreKept) {
  const std::string user = as_user("a");
  ASSERT_EQ(app::choose_app_folder(installed_).folder, user);
  dir_.write("home/a/.local/share/tavori/config.ini", "[main]\r\nName=Tavori\r\n");
  dir_.write("home/a/.local/share/tavori/Qvod/QvodPlayer.xml", "mine");
  struct stat before {};
  ::stat((user + "/Qvod/QvodInsert.dll").c_str(), &before);

  // An upgrade: a new library, and the program moved to another prefix.
  dir_.write("prefix/lib/tavori/Qvod/QvodInsert.dll", "library 2, longer");
  const std::string moved = dir_.file("other/lib/tavori");
  fs::create_directories(fs::path(moved).parent_path());
  fs::copy(installed_, moved, fs::copy_options::recursive);
  ASSERT_EQ(app::choose_app_folder(moved).folder, user);

  EXPECT_EQ(read(user + "/Qvod/QvodInsert.dll"), "library 2, longer");
  // Replaced, not rewritten in place: a running player keeps the old one.
  struct stat after {};
  ::stat((user + "/Qvod/QvodInsert.dll").c_str(), &after);
  EXPECT_NE(before.st_ino, after.st_ino);
  EXPECT_EQ(fs::read_symlink(user + "/i.gif"), moved + "/i.gif");
  EXPECT_EQ(read(user + "/config.ini"), "[main]\r\nName=Tavori\r\n");
  EXPECT_EQ(read(user + "/Qvod/QvodPlayer.xml"), "mine");
  // No temporary files are left.
  for (const auto& e : fs::recursive_directory_iterator(user))
    EXPECT_EQ(e.path().filename().string().find(".new-"), std::string::npos) << e.path();
}

TEST_F(AppFolder, AFileTheUserPutInPlaceOfALinkIsKept) {
  const std::string user = as_user("a");
  fs::create_directories(user);
  dir_.write("home/a/.local/share/tavori/i.gif", "my own");
  ASSERT_EQ(app::choose_app_folder(installed_).folder, user);
  EXPECT_EQ(read(user + "/i.gif"), "my own");
}

TEST_F(AppFolder, AFolderOfAnotherUserIsNotUsed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs to give a folder away";
  const std::string user = as_user("a");
  fs::create_directories(user);
  ASSERT_EQ(::chown(user.c_str(), 65534, 65534), 0);
  const app::FolderChoice choice = app::choose_app_folder(installed_);
  EXPECT_TRUE(choice.folder.empty());
  EXPECT_NE(choice.error.find("another user"), std::string::npos) << choice.error;
}

TEST(ContentServer, TheOptionTheUsersSettingTheDistributorsThenTheBuiltInOne) {
  test::TempDir dir;
  dir.write("user", "  http://user.example/box\r\nsecond line\n");
  dir.write("system", "https://dist.example:8443/box/\n");
  app::ServerSources sources{std::nullopt, dir.file("user"), dir.file("system"), "http://127.0.0.1:8080/box/"};
  EXPECT_EQ(app::choose_server(sources).base, "http://user.example/box/");
  sources.option = "http://127.0.0.1:9000/box/";
  EXPECT_EQ(app::choose_server(sources).base, "http://127.0.0.1:9000/box/");
  sources.option.reset();
  sources.user_file = dir.file("missing");
  EXPECT_EQ(app::choose_server(sources).base, "https://dist.example:8443/box/");
  // A folder, an empty file: no setting.
  sources.user_file = dir.str();
  dir.write("empty", "\n");
  sources.system_file = dir.file("empty");
  const app::ServerChoice built_in = app::choose_server(sources);
  EXPECT_EQ(built_in.base, "http://127.0.0.1:8080/box/");
  EXPECT_TRUE(built_in.built_in);
  // What is no server address is never loaded: the library then shows
  // that its server cannot be reached.
  for (const char* bad : {"javascript:alert(1)", "file:///etc/passwd", "http://", "http:///box/",
                          "ftp://host/box/", "http://host/box/\"onload=", "http://h o/"}) {
    dir.write("bad", std::string(bad) + "\n");
    sources.user_file = dir.file("bad");
    const app::ServerChoice choice = app::choose_server(sources);
    EXPECT_EQ(choice.base, app::kNoServer) << bad;
    EXPECT_FALSE(choice.built_in);
    EXPECT_NE(choice.warning.find(dir.file("bad")), std::string::npos) << choice.warning;
  }
}

}  // namespace
}  // namespace tav::test
