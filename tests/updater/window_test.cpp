// The updater's window under Xvfb and openbox: the progress of a slow
// download (tavori-server --throttle), a screenshot of it, and the cancel
// button, which leaves everything as it was.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "desktop_session.h"
#include "release/manifest.h"
#include "release/swap.h"
#include "server_process.h"
#include "temp_dir.h"
#include "test_files.h"

namespace tav::test {
namespace {

namespace fs = std::filesystem;

// A folder with the fake program of a version and the real updater.
void make_release_folder(const fs::path& folder, const std::string& version) {
  fs::create_directories(folder / "Qvod");
  spill(folder / "tavori", slurp(TAVORI_FAKE_PROGRAM) + "\nTAVORI-FAKE-VERSION " + version + "\n");
  fs::permissions(folder / "tavori", fs::perms(0755));
  fs::copy_file(TAVORI_UPDATER_BINARY, folder / "update.exe", fs::copy_options::overwrite_existing);
  spill(folder / "Qvod/lib.txt", "library " + version + "\n");
}

bool pack(const fs::path& from, const std::string& version, const fs::path& out) {
  const std::string command = std::string("'") + TAVORI_RELEASE_TOOL + "' pack --key '" + TAVORI_RELEASE_KEY +
                              "' --version " + version + " --from '" + from.string() + "' --out '" + out.string() +
                              "' tavori update.exe Qvod/lib.txt >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

WindowGeometry geometry(const Xvfb& x, const std::string& window) {
  return parse_window_geometry(
      command_output("DISPLAY=" + x.display() + " xdotool getwindowgeometry --shell " + window));
}

TEST(UpdaterWindow, ShowsTheDownloadInTheProgramsColoursAndCancels) {
  Xvfb x;
  ASSERT_TRUE(x.ready()) << "Xvfb or its window manager (openbox) did not start";
  TempDir dir;
  const fs::path app = dir.file("app");
  make_release_folder(app, "1.0");
  ASSERT_TRUE(pack(app, "1.0", dir.file("installed")));
  fs::copy_file(dir.file("installed/release.txt"), app / "release.manifest");
  spill(app / "config.ini", "[S_q]\r\ns_bo=2\r\n");
  make_release_folder(dir.file("source"), "1.1");
  ASSERT_TRUE(pack(dir.file("source"), "1.1", dir.file("offer")));
  const std::string before = slurp(app / "tavori") + slurp(app / "Qvod/lib.txt") + slurp(app / "config.ini");

  // About 5 MB at 400 kB/s: the window shows the download for a while.
  ServerProcess server(ServerProcess::later);
  ASSERT_TRUE(server.start({"--release", dir.file("offer"), "--throttle", "400000", "--log", "pings.log"}))
      << server.output();
  const std::string output = dir.file("updater-output.txt");
  fs::create_directories(dir.file("run"));
  fs::permissions(dir.file("run"), fs::perms::owner_all);
  const pid_t updater = launch({(app / "update.exe").string(), "--server-base=" + server.base()},
                               {"DISPLAY=" + x.display(), "QT_QPA_PLATFORM=xcb", "HOME=" + dir.str(),
                                "XDG_RUNTIME_DIR=" + dir.file("run"), "LANG=zh_CN.UTF-8"},
                               app.string(), output);
  std::string window;
  ASSERT_TRUE(wait_for(
      [&] {
        // xdotool matches the Latin-1 WM_NAME: the title proper is read below.
        window = command_output("DISPLAY=" + x.display() + " xdotool search --onlyvisible --name '^Tavori '");
        return !window.empty();
      },
      20))
      << read_file(output);
  window = window.substr(0, window.find('\n'));
  EXPECT_NE(command_output("DISPLAY=" + x.display() + " xprop -id " + window + " _NET_WM_NAME")
                .find("\"Tavori 升级\""),
            std::string::npos);
  ASSERT_TRUE(wait_for([&] { return read_file(output).find("正在下载 Tavori 1.1") != std::string::npos; }, 20))
      << read_file(output);
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // some of the bar filled

  fs::create_directories(TAVORI_SHOTS_DIR);
  const std::string shot = std::string(TAVORI_SHOTS_DIR) + "/updater-progress.png";
  ASSERT_EQ(std::system(("DISPLAY=" + x.display() + " import -window root '" + shot + "'").c_str()), 0);
  const WindowGeometry g = geometry(x, window);
  EXPECT_EQ(g.width, 440);
  EXPECT_EQ(g.height, 170);
  QImage image(QString::fromStdString(shot));
  ASSERT_FALSE(image.isNull());
  // The program's dark look inside the window, and the blue of the bar.
  int dark = 0, blue = 0, light = 0, all = 0;
  for (int py = g.y; py < g.y + g.height; ++py)
    for (int px = g.x; px < g.x + g.width; ++px) {
      const QColor c = image.pixelColor(px, py);
      ++all;
      if (c.lightness() < 40) ++dark;
      if (c.blue() > 150 && c.red() < 120) ++blue;
      if (c.lightness() > 180) ++light;
    }
  EXPECT_GT(dark, all * 6 / 10) << "not the dark look";
  EXPECT_GT(blue, 200) << "no progress to be seen";
  EXPECT_GT(light, 100) << "no text to be seen";

  // Cancel: the button at the lower right (in the window's own coordinates).
  std::system(("DISPLAY=" + x.display() + " xdotool mousemove --window " + window + " " +
               std::to_string(g.width - 72) + " " + std::to_string(g.height - 30) + " click 1")
                  .c_str());
  ASSERT_TRUE(wait_for([&] { return read_file(output).find("已取消升级，未作任何更改。") != std::string::npos; }, 20))
      << read_file(output);
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  std::system(("DISPLAY=" + x.display() + " import -window root '" + std::string(TAVORI_SHOTS_DIR) +
               "/updater-cancelled.png'").c_str());
  // The question whether to start the old program again: "关闭".
  std::system(("DISPLAY=" + x.display() + " xdotool key Escape").c_str());
  int status = -1;
  ASSERT_TRUE(wait_for([&] { return waitpid(updater, &status, WNOHANG) == updater; }, 10)) << read_file(output);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 5) << read_file(output);
  EXPECT_EQ(slurp(app / "tavori") + slurp(app / "Qvod/lib.txt") + slurp(app / "config.ini"), before);
  EXPECT_FALSE(fs::exists(app / ".update"));
  end_group(updater);
}

// The visible window of the process whose title (_NET_WM_NAME) is title.
std::string window_titled(const Xvfb& x, pid_t pid, const std::string& title) {
  std::istringstream ids(command_output("DISPLAY=" + x.display() + " xdotool search --all --onlyvisible --pid " +
                                        std::to_string(pid) + " --name '.'"));
  std::string id;
  while (std::getline(ids, id)) {
    const std::string name = command_output("DISPLAY=" + x.display() + " xprop -id " + id + " _NET_WM_NAME");
    if (name.find("\"" + title + "\"") != std::string::npos) return id;
  }
  return {};
}

// The whole update, with the real programs: tavori reads the
// version file, asks, the user says Yes; tavori starts update.exe and ends;
// the updater installs the release the server offers and starts the new
// tavori, all against the server tavori was pointed at. The release is a
// newer version than the build's: the build's files with the stand-in
// program of that version (the build's own program says it is the build's
// version, and tavori-release packs it as no other).
TEST(UpdaterWindow, YesToTheUpdateQuestionInstallsTheNewReleaseAndStartsIt) {
  Xvfb x;
  ASSERT_TRUE(x.ready()) << "Xvfb or its window manager (openbox) did not start";
  TempDir dir;
  const fs::path from = TAVORI_APP_DIR, app = dir.file("app"), source = dir.file("source");
  // Its last number one up ("1.0": "1.1"): the update check asks only for
  // a version that reads as a number.
  const std::string build = TAVORI_VERSION;
  const std::size_t last = build.rfind('.') + 1;
  const std::string newer = build.substr(0, last) + std::to_string(std::stoi(build.substr(last)) + 1);
  const std::vector<std::string> files = {"tavori", "update.exe", "regsvr32", "i.gif", "Qvod/QvodInsert.dll",
                                          "Qvod/QvodTerminal.exe", "Qvod/QvodPlayer.exe"};
  for (const std::string& f : files) {
    fs::create_directories((app / f).parent_path());
    fs::copy_file(from / f, app / f);
    fs::create_directories((source / f).parent_path());
    fs::copy_file(from / f, source / f);
  }
  spill(source / "tavori", slurp(TAVORI_FAKE_PROGRAM) + "\nTAVORI-FAKE-VERSION " + newer + "\n");
  fs::permissions(source / "tavori", fs::perms(0755));
  for (const char* sub : {"config", "home", "run", "downloads"}) fs::create_directories(dir.file(sub));
  fs::permissions(dir.file("run"), fs::perms::owner_all);
  const std::string xml = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<QvodPlayer Defaultsavepath=\"" +
                          dir.file("downloads") + "/\" />\r\n";
  spill(app / "Qvod/QvodPlayer.xml", xml);
  const std::string history = "\xb2\xe2\xca\xd4$http://127.0.0.1:8080/media/x.mp4$12\r\n";
  spill(app / "date.dat", history);
  std::string command = std::string("'") + TAVORI_RELEASE_TOOL + "' pack --key '" + TAVORI_RELEASE_KEY +
                        "' --version " + newer + " --from '" + source.string() + "' --out '" + dir.file("offer") + "'";
  for (const std::string& f : files) command += " " + f;
  ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0);

  const std::vector<std::string> env = {"DISPLAY=" + x.display(), "XDG_CONFIG_HOME=" + dir.file("config"),
                                        "HOME=" + dir.file("home"), "XDG_RUNTIME_DIR=" + dir.file("run"),
                                        "QTWEBENGINE_DISABLE_SANDBOX=1", "QT_QPA_PLATFORM=xcb",
                                        // for the new (stand-in) program
                                        "TAVORI_FAKE_SECONDS=60", "TAVORI_FAKE_LOG=" + dir.file("starts.log")};
  ServerProcess server({"--release", dir.file("offer")});
  ASSERT_TRUE(server.ready()) << server.output();
  const pid_t registered = launch({(app / "regsvr32").string(), "/s", (app / "Qvod/QvodInsert.dll").string()}, env,
                                  app.string(), dir.file("tools.txt"));
  waitpid(registered, nullptr, 0);

  const pid_t old_program = launch({(app / "tavori").string(), "--server-base=" + server.origin() + "/box/"}, env,
                                   app.string(), dir.file("tavori-output.txt"));
  // Six seconds after start: the question.
  std::string question;
  const bool asked = wait_for(
      [&] {
        question = window_titled(x, old_program, "Tavori提示：");
        return !question.empty();
      },
      40);
  if (!asked) {
    end_processes_in(app);
    FAIL() << "no update question\n" << read_file(dir.file("tavori-output.txt"));
  }
  std::system(("DISPLAY=" + x.display() + " import -window root '" + std::string(TAVORI_SHOTS_DIR) +
               "/update-question.png'").c_str());
  // Yes is the default button.
  std::system(("DISPLAY=" + x.display() + " xdotool windowactivate --sync " + question + " key --clearmodifiers Return")
                  .c_str());
  // The old program ends; the updater installs 1.1 and starts the new one.
  bool updated = wait_for(
      [&] {
        const auto m = update::parse_manifest(read_file((app / update::kInstalledManifest).string()));
        return m && m->version == newer && !fs::exists(app / ".update");
      },
      60);
  int old_status = 0;
  const bool old_ended = waitpid(old_program, &old_status, WNOHANG) == old_program;
  const std::vector<int> running = update::processes_running((app / "tavori").string());
  if (updated)
    std::system(("DISPLAY=" + x.display() + " import -window root '" + std::string(TAVORI_SHOTS_DIR) +
                 "/updated-program.png'").c_str());
  end_processes_in(app);
  end_group(old_program);
  ASSERT_TRUE(updated) << read_file(dir.file("tavori-output.txt"));
  EXPECT_TRUE(old_ended) << "the old program did not end";
  EXPECT_EQ(running.size(), 1u) << "the new program is not running";
  // The program's files are the release's; the user's are as they were.
  const auto m = update::parse_manifest(read_file((app / update::kInstalledManifest).string()));
  ASSERT_TRUE(m);
  for (const std::string& f : files) EXPECT_EQ(read_file((app / f).string()), read_file((source / f).string())) << f;
  EXPECT_NE(read_file(dir.file("starts.log")).find(newer + " "), std::string::npos) << "the new program did not start";
  EXPECT_EQ(read_file((app / "date.dat").string()), history);
  EXPECT_EQ(read_file((app / "Qvod/QvodPlayer.xml").string()), xml);
}

}  // namespace
}  // namespace tav::test
