// What the desktop tests share: the clips, the catalogue, an X server with
// a window manager for each suite, a tavori-server for each test, and
// readers of the trace's page and menu lines.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "desktop_session.h"
#include "server_process.h"

namespace tav::test {

// Short clips with sound, made once for all tests.
class Media {
 public:
  static const Media& get() {
    static Media media;
    return media;
  }
  const std::string& folder() const { return folder_; }

 private:
  Media() {
    folder_ = dir_.file("media");
    std::filesystem::create_directories(folder_);
    for (const char* name : {"ep1.mp4", "ep2.mp4", "ep3.mp4"}) {
      const std::string out = folder_ + "/" + name;
      const std::string command =
          "ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=160x120:rate=15:duration=6 "
          "-f lavfi -i sine=frequency=440:duration=6 -c:v libx264 -preset ultrafast "
          "-pix_fmt yuv420p -c:a aac -shortest -movflags +faststart '" + out + "'";
      if (std::system(command.c_str()) != 0) ADD_FAILURE() << "ffmpeg failed for " << name;
    }
  }
  TempDir dir_;
  std::string folder_;
};

inline const char* const kCatalogue =
    "series 1\nname 测试剧\nshelf library\n"
    "episode 第1集 | ep1.mp4 | qvod\nepisode 第2集 | ep2.mp4 | qvod\nepisode 第3集 | ep3.mp4 | qvod\n";

// The film link the library page follows by itself in test mode.
inline const char* const kFirstEpisode = "eebovod://1-1-0-%u6D4B%u8BD5%u5267";

class Desktop : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { x_ = new Xvfb; }
  static void TearDownTestSuite() {
    delete x_;
    x_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(x_->ready()) << "Xvfb or its window manager (openbox) did not start";
    server_ = std::make_unique<ServerProcess>(ServerProcess::later);
    server_->folder().write("catalogue.txt", kCatalogue);
  }
  bool start_server(std::vector<std::string> args = {}) {
    std::vector<std::string> all = {"--catalogue", "catalogue.txt", "--media",
                                    Media::get().folder(), "--log", "pings.log", "--verbose"};
    all.insert(all.end(), args.begin(), args.end());
    return server_->start(all);
  }
  std::unique_ptr<DesktopApp> make_app() {
    return std::make_unique<DesktopApp>(*x_, server_->origin());
  }

  static inline Xvfb* x_ = nullptr;
  std::unique_ptr<ServerProcess> server_;
};

// A box on the screen.
struct Box {
  int x = 0, y = 0, w = 0, h = 0;
  int cx() const { return x + w / 2; }
  int cy() const { return y + h / 2; }
};

// From a trace line
// "page <panel> at X,Y WxH scrolled X,Y <charset> | <text> | <links>":
// the screen box of the first visible link whose address is href.
inline std::optional<Box> link_box(const std::string& page_line, const std::string& href) {
  Box panel;
  const std::size_t at = page_line.find(" at ");
  if (at == std::string::npos ||
      std::sscanf(page_line.c_str() + at, " at %d,%d %dx%d", &panel.x, &panel.y, &panel.w, &panel.h) != 4)
    return std::nullopt;
  const std::string key = " " + href + " ";
  const std::size_t links = page_line.rfind(" |");
  const std::size_t found = page_line.find(key, links == std::string::npos ? 0 : links);
  if (found == std::string::npos) return std::nullopt;
  Box b;
  if (std::sscanf(page_line.c_str() + found + key.size(), "%d,%d,%d,%d", &b.x, &b.y, &b.w, &b.h) != 4)
    return std::nullopt;
  b.x += panel.x;
  b.y += panel.y;
  return b;
}

// What a page line says the page shows: "<charset> | <text>".
inline std::string page_text(const std::string& page_line) {
  const std::size_t scrolled = page_line.find(" scrolled ");
  const std::size_t charset = scrolled == std::string::npos ? scrolled : page_line.find(' ', scrolled + 10);
  const std::size_t last = page_line.rfind(" |");
  if (charset == std::string::npos || last == std::string::npos || last <= charset) return {};
  return page_line.substr(charset + 1, last - charset - 1);
}

// How far a page line says the page is scrolled down.
inline int page_scroll_y(const std::string& page_line) {
  int x = 0, y = 0;
  const std::size_t scrolled = page_line.find(" scrolled ");
  if (scrolled == std::string::npos || std::sscanf(page_line.c_str() + scrolled, " scrolled %d,%d", &x, &y) != 2)
    return -1;
  return y;
}

// From a trace line "menu <name> shown | <caption> on|off X,Y,W,H | ...":
// whether the item is enabled and its box; nothing when it is not there.
struct MenuItemSeen {
  bool enabled = false;
  Box box;
};
inline std::optional<MenuItemSeen> menu_item(const std::string& menu_line, const std::string& caption) {
  const std::string key = "| " + caption + " ";
  const std::size_t found = menu_line.find(key);
  if (found == std::string::npos) return std::nullopt;
  MenuItemSeen item;
  const char* rest = menu_line.c_str() + found + key.size();
  item.enabled = std::string(rest, 3) == "on ";
  rest += item.enabled ? 3 : 4;
  if (std::sscanf(rest, "%d,%d,%d,%d", &item.box.x, &item.box.y, &item.box.w, &item.box.h) != 4)
    return std::nullopt;
  return item;
}

}  // namespace tav::test
