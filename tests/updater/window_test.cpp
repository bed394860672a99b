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
#include "server_process.h"
#include "temp_dir.h"

namespace tav::test {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void spill(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

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

struct Geometry {
  int x = 0, y = 0, w = 0, h = 0;
};

Geometry geometry(const Xvfb& x, const std::string& window) {
  Geometry g;
  std::istringstream in(command_output("DISPLAY=" + x.display() + " xdotool getwindowgeometry --shell " + window));
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    const int value = std::atoi(line.c_str() + eq + 1);
    if (key == "X") g.x = value;
    if (key == "Y") g.y = value;
    if (key == "WIDTH") g.w = value;
    if (key == "HEIGHT") g.h = value;
  }
  return g;
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
  const pid_t updater = launch({(app / "update.exe").string(), "--server-base=" + server.base()},
                               {"DISPLAY=" + x.display(), "QT_QPA_PLATFORM=xcb", "HOME=" + dir.str(),
                                "XDG_RUNTIME_DIR=" + dir.str(), "LANG=zh_CN.UTF-8"},
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
  const Geometry g = geometry(x, window);
  EXPECT_EQ(g.w, 440);
  EXPECT_EQ(g.h, 170);
  QImage image(QString::fromStdString(shot));
  ASSERT_FALSE(image.isNull());
  // The program's dark look inside the window, and the blue of the bar.
  int dark = 0, blue = 0, light = 0, all = 0;
  for (int py = g.y; py < g.y + g.h; ++py)
    for (int px = g.x; px < g.x + g.w; ++px) {
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
               std::to_string(g.w - 72) + " " + std::to_string(g.h - 30) + " click 1")
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

}  // namespace
}  // namespace tav::test
