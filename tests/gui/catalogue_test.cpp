// The whole demo catalogue in tavori under Xvfb, as a user goes through
// it: tavori-server on the shipped catalogue with the clips its own script
// makes, every episode of the library clicked, every channel of the TV page
// and every item of the hot page played. The titles, the history and the
// server's log of requests are read back. The suite's settings name no seed
// source: the films come from the server the program was pointed at.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <set>

#include "base/text.h"
#include "desktop_fixture.h"
#include "platform/posix/iconv_code_page.h"
#include "web/text_routines.h"

namespace tav::test {
namespace {

namespace fs = std::filesystem;

struct Episode {
  std::string label, file, kind;
};
struct Series {
  std::string id, name;
  std::set<std::string> shelves;
  bool pending = false;
  std::vector<Episode> episodes;
};

// The shipped catalogue (the copy beside the server) and one series more
// whose name holds what the links use as separators.
const std::string& walked_catalogue() {
  static TempDir dir;
  static const std::string path = [] {
    std::ifstream shipped(std::string(TAVORI_APP_DIR) + "/catalogue.txt");
    std::ofstream out(dir.file("catalogue.txt"));
    out << shipped.rdbuf()
        << "\nseries 1009\nname A-B $5 | 上&&&下 %41\nshelf library\n"
           "episode 第1集 | odd-1.mp4 | qvod\nepisode 第2集 | odd-2.mp4 | web\n";
    return dir.file("catalogue.txt");
  }();
  return path;
}

// The walked catalogue, read the simple way.
std::vector<Series> read_catalogue() {
  std::ifstream in(walked_catalogue());
  std::vector<Series> all;
  std::string line;
  while (std::getline(in, line)) {
    const std::string t = trim_spaces(replace_all(line, "\t", " "));
    if (t.empty() || t[0] == '#') continue;
    const std::size_t gap = t.find(' ');
    const std::string key = t.substr(0, gap);
    const std::string value = gap == std::string::npos ? "" : trim_spaces(t.substr(gap));
    if (key == "series") {
      all.emplace_back();
      all.back().id = value;
    } else if (all.empty()) {
      continue;
    } else if (key == "name") {
      all.back().name = value;
    } else if (key == "shelf") {
      for (const std::string& w : split(value, " "))
        if (!w.empty()) all.back().shelves.insert(w);
    } else if (key == "status") {
      all.back().pending = value == "pending";
    } else if (key == "episode") {
      const std::vector<std::string> f = split(value, "|");
      if (f.size() >= 3)
        all.back().episodes.push_back({trim_spaces(f[0]), trim_spaces(f[1]), trim_spaces(f[2])});
    }
  }
  return all;
}

// The clips of the shipped catalogue, made once for this program by the
// demo server's own script.
const std::string& demo_media() {
  static TempDir dir;
  static const std::string folder = [] {
    const fs::path script =
        fs::path(__FILE__).parent_path().parent_path().parent_path() / "server" / "make_media.sh";
    const std::string out = dir.file("media");
    const std::string command = "'" + script.string() + "' --jobs 2 --catalogue '" +
                                walked_catalogue() + "' '" + out + "' > '" +
                                dir.file("media.log") + "' 2>&1";
    if (std::system(command.c_str()) != 0) ADD_FAILURE() << dir.read("media.log");
    return out;
  }();
  return folder;
}

// A target with its %XX escapes undone once (the bytes a browser escaped).
std::string percent_decoded(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() &&
        std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The panel's box on the screen, from its trace line "page <panel> at X,Y WxH ...".
std::optional<Box> panel_box(const std::string& page_line) {
  Box b;
  const std::size_t at = page_line.find(" at ");
  if (at == std::string::npos ||
      std::sscanf(page_line.c_str() + at, " at %d,%d %dx%d", &b.x, &b.y, &b.w, &b.h) != 4)
    return std::nullopt;
  return b;
}

// Whether a pixel is of a colour (not black, white or grey).
bool coloured(QRgb c) {
  return std::max({qRed(c), qGreen(c), qBlue(c)}) - std::min({qRed(c), qGreen(c), qBlue(c)}) > 60;
}

// The history's record as the program writes it: "|" in a field escaped.
std::string history_record(const Series& s, int e, const std::string& address) {
  const auto field = [](const std::string& t) { return replace_all(t, "|", "%7C"); };
  return s.id + "|" + field(s.name) + "|" + field(s.episodes[e].label) + "|" + urlEscape(address) +
         "|1|" + std::to_string(e) + "|0";
}

class Catalogue : public Desktop {
 protected:
  // A screen tall enough for the window to show every page whole.
  static void SetUpTestSuite() { x_ = new Xvfb("1366x1300x24"); }

  // The lines of the server's log: method, target, status.
  struct Request {
    std::string target;
    int status = 0;
  };
  std::vector<Request> requests() const {
    std::vector<Request> out;
    for (const std::string& line : split_lines(server_->output())) {
      const std::vector<std::string> f = split(line, " ");
      if (f.size() >= 6 && f[2] == "GET") out.push_back({f[3], std::atoi(f[4].c_str())});
    }
    return out;
  }
  // How often the server was asked for the path (as it reads the escapes).
  int asked(const std::string& path) const {
    int n = 0;
    for (const Request& r : requests()) n += percent_decoded(r.target) == path;
    return n;
  }

  // A film plays in the box: two screenshots a moment apart both show a
  // coloured picture there, and not the same one.
  bool picture_moves(const DesktopApp& app, const Box& box, const std::string& name) const {
    QImage before;
    bool before_coloured = false;
    int tries = 0;
    return wait_for(
        [&] {
          const std::string png = app.screenshot(name + "-" + std::to_string(++tries % 2));
          const QImage shot(QString::fromStdString(png));
          int colours = 0, changed = 0, all = 0;
          for (int y = box.y; y < box.y + box.h; y += 4) {
            for (int x = box.x; x < box.x + box.w; x += 4) {
              const QRgb c = shot.pixel(x, y);
              ++all;
              colours += coloured(c);
              if (before.isNull()) continue;
              const QRgb o = before.pixel(x, y);
              changed += std::abs(qRed(c) - qRed(o)) + std::abs(qGreen(c) - qGreen(o)) +
                             std::abs(qBlue(c) - qBlue(o)) >
                         60;
            }
          }
          const bool now_coloured = colours * 50 > all;
          const bool moved = before_coloured && now_coloured && changed * 200 > all;
          before = shot;
          before_coloured = now_coloured;
          return moved;
        },
        20);
  }

  // Clicks until one more trace line starts with prefix: a click that
  // comes while the window is busy elsewhere may be lost.
  static bool click_for(const DesktopApp& app, int x, int y, const std::string& prefix) {
    const int before = app.traced_count(prefix);
    for (int i = 0; i < 5; ++i) {
      app.click(x, y);
      if (wait_for([&] { return app.traced_count(prefix) > before; }, 4)) return true;
    }
    return false;
  }

  IconvCodePage gbk_;
};

TEST_F(Catalogue, EveryEpisodeChannelAndItemPlaysUnderItsWholeName) {
  const std::vector<Series> catalogue = read_catalogue();
  ASSERT_GE(catalogue.size(), 7u);
  ASSERT_TRUE(server_->start({"--catalogue", walked_catalogue(),
                              "--media", demo_media(), "--log", "pings.log", "--verbose"}))
      << server_->output();
  auto app = make_app();
  app->register_player();
  // A tall window; neither the next episode nor balloons come by themselves,
  // and the suite's processes of other programs of the user are left alone.
  app->write_app_file(
      "config.ini",
      "[S_q]\r\ns_size=2\r\nh_w=14235\r\nh_h=18600\r\ns_h=1\r\ns_bo=1\r\ns_pao=1\r\n"
      "qvodqi=1\r\nqvodk=1\r\n");
  // The user's settings name no seed source.
  app->write_app_file(
      "Qvod/QvodPlayer.xml",
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<QvodPlayer Defaultsavepath=\"" +
          app->downloads() + "/\" />\r\n");
  app->start();
  ASSERT_TRUE(app->wait_traced("BA1 shown", 60)) << app->output();
  const std::string library = app->wait_last("page Web1 ", "eebovod://", 60);
  ASSERT_TRUE(panel_box(library)) << app->trace();
  const Box web1 = *panel_box(library);
  // Where the window's controls stand, from the library panel's place.
  const int tab_y = web1.y + web1.h + 11;
  const int library_tab = web1.x + 47, tv_tab = web1.x + 207, hot_tab = web1.x + 287;
  const Box player_area{web1.x - 457, web1.y + 2, 460, web1.h - 4};

  // --- every channel of the TV page (before the library's films: a clip
  // played once may come again from the engine's memory, unasked) ---
  ASSERT_TRUE(click_for(*app, tv_tab, tab_y, "zz2 shown")) << app->trace();
  const std::string tv = app->wait_last("page Webz2 ", "#c01 ", 30);
  ASSERT_TRUE(panel_box(tv)) << app->trace();
  const Box webz2 = *panel_box(tv);
  const Box screen{webz2.x + 30, webz2.y + 60, webz2.w - 400, webz2.h - 160};
  int channel = 0;
  for (const Series& s : catalogue) {
    if (!s.shelves.count("tv")) continue;
    for (const Episode& ep : s.episodes) {
      char number[16];
      std::snprintf(number, sizeof number, "#c%02d", ++channel);
      SCOPED_TRACE(std::string(number) + " " + ep.label);
      const auto tile = link_box(tv, number);
      ASSERT_TRUE(tile) << tv;
      const std::string clip = "/media/" + ep.file;
      const int before = asked(clip);
      app->click(tile->cx(), tile->cy());
      // The first channel started with the page.
      EXPECT_TRUE(
          wait_for([&] { return asked(clip) > before || (channel == 1 && before > 0); }, 20))
          << server_->output();
      EXPECT_TRUE(picture_moves(*app, screen, "tv")) << ep.file;
    }
  }
  EXPECT_GE(channel, 6);
  ASSERT_TRUE(click_for(*app, web1.x - 190, web1.y - 13, "zz2 hidden")) << app->trace();

  // --- every item of the hot page: each series plays its first episode ---
  ASSERT_TRUE(click_for(*app, hot_tab, tab_y, "zz3 shown")) << app->trace();
  const std::string hot = app->wait_last("page Webz3 ", "#e", 30);
  ASSERT_TRUE(panel_box(hot)) << app->trace();
  const Box webz3 = *panel_box(hot);
  const Box stage{webz3.x + 4, webz3.y + 40, webz3.w - 8, (webz3.w - 8) * 9 / 16 - 8};
  int items = 0;
  for (const Series& s : catalogue) {
    if (!s.shelves.count("hot")) continue;
    ++items;
    SCOPED_TRACE(s.name);
    const auto item = link_box(hot, "#e" + s.id + "-0");
    ASSERT_TRUE(item) << hot;
    const std::string clip = "/media/" + s.episodes[0].file;
    const int before = asked(clip);
    app->click(item->cx(), item->cy());
    if (!s.pending) {  // a pending one says so instead (its files are never asked for, below)
      EXPECT_TRUE(wait_for([&] { return asked(clip) > before; }, 20)) << server_->output();
      EXPECT_TRUE(picture_moves(*app, stage, "hot")) << s.name;
    }
    // Back to the list (the detail view's bar stands at the top of the page).
    app->click(webz3.x + 40, webz3.y + 18);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  EXPECT_GE(items, 4);

  // --- every episode of the library, clicked in the library ---
  std::set<std::string> seeds;  // the qvod films' seeds
  for (const Series& s : catalogue) {
    if (!s.shelves.count("library")) continue;
    for (int e = 0; e < static_cast<int>(s.episodes.size()); ++e) {
      const Episode& ep = s.episodes[e];
      SCOPED_TRACE(s.name + " " + ep.label);
      // The page's link: the client takes it apart at its dashes and reads
      // the last field back through urlUnescape.
      std::smatch link;
      const std::string prefix = "eebovod://" + s.id + "-1-" + std::to_string(e) + "-";
      ASSERT_TRUE(std::regex_search(library, link, std::regex(" (" + prefix + "\\S*) \\d+,")));
      const std::vector<std::string> fields = split(link[1].str().substr(10), "-");
      ASSERT_EQ(fields.size(), 4u) << link[1];
      EXPECT_EQ(urlUnescape(fields[3]), s.name);
      const auto chip = link_box(library, link[1]);
      ASSERT_TRUE(chip) << library;

      if (app->last_traced("l3 ").find("hidden") != std::string::npos) {
        ASSERT_TRUE(click_for(*app, library_tab, tab_y, "l3 shown")) << app->trace();
      }
      // What the click brought: the trace from here on.
      const std::size_t mark = app->trace().size();
      const auto since = [&] { return app->trace().substr(mark); };
      const auto after = [&](const std::string& part) {
        return since().find(part) != std::string::npos;
      };
      const auto line_after = [&](const std::string& prefix) {
        const std::string t = "\n" + since();
        const std::size_t at = t.find("\n" + prefix);
        return at == std::string::npos ? std::string()
                                       : t.substr(at + 1, t.find('\n', at + 1) - at - 1);
      };
      app->click(chip->cx(), chip->cy());
      if (s.pending) {
        EXPECT_TRUE(wait_for([&] { return after("zhun caption 读取数据出错，请返回重试"); }, 20))
            << app->trace();
        continue;
      }
      const test::RawReply reply =
          raw_get(server_->port(), "/box/h.asp?id=" + s.id + "&v=1&v1=" + std::to_string(e));
      const std::vector<std::string> parts = split(reply.body, "$");
      ASSERT_EQ(parts.size(), 3u) << reply.body;
      EXPECT_EQ(urlUnescape(parts[0]), ep.label);
      EXPECT_EQ(parts[2], ep.kind);
      const std::string& address = parts[1];
      const std::string title = fit_width(gbk_, s.name, 30) + "-" + ep.label;
      EXPECT_TRUE(wait_for([&] { return after("bo_name caption " + title + "\n"); }, 20))
          << since();
      if (ep.kind == "qvod") {
        ASSERT_TRUE(wait_for([&] { return after("player put 1 " + address + "\n"); }, 20))
            << since();
        EXPECT_TRUE(wait_for([&] { return after("zhun caption 播放中("); }, 30))
            << since() << app->output();
        seeds.insert("/seed/" + split(address, "|")[1]);
      } else {
        const std::string page = server_->base() + "play.htm?web$$$" + urlEscape(address);
        ASSERT_TRUE(wait_for([&] { return after("navigate Web2 " + page + "\n"); }, 20)) << since();
        // The page unescapes the address and plays the file: its name in
        // the page's title, its bytes asked for once escaped.
        std::string shown;
        EXPECT_TRUE(wait_for([&] { return !(shown = line_after("page Web2 ")).empty(); }, 20))
            << since();
        EXPECT_NE(page_text(shown).find(ep.file), std::string::npos) << shown;
        EXPECT_TRUE(wait_for([&] { return asked("/media/" + ep.file) > 0; }, 20))
            << server_->output();
        EXPECT_TRUE(picture_moves(*app, player_area, "web-episode")) << ep.file;
      }
      // The history's first record is this episode's, whole; the episode
      // page lists the series.
      const std::string record = history_record(s, e, address);
      EXPECT_TRUE(wait_for(
          [&] { return gbk_.to_utf8(app->file("date.dat")).rfind(record + "\r\n", 0) == 0; }, 10))
          << gbk_.to_utf8(app->file("date.dat")) << "\nnot starting with\n"
          << record;
      const std::string episodes =
          server_->base() + "pp.htm?" + s.id + "-1-" + std::to_string(e) + "-" + s.name + "-0";
      EXPECT_TRUE(after("navigate Web4 " + episodes + "\n")) << since();
      EXPECT_TRUE(wait_for(
          [&] {
            return line_after("page Web4 ").find(" " + link[1].str() + " ") != std::string::npos;
          },
          20))
          << since();
    }
  }
  // Every qvod film came from this server's seeds, not the built-in one's.
  for (const std::string& seed : seeds) EXPECT_GE(asked(seed), 1) << seed;

  // --- what the server was asked for: every address escaped once ---
  std::set<std::string> files;
  for (const Series& s : catalogue) {
    for (const Episode& ep : s.episodes) {
      files.insert(ep.file);
      if (s.pending) {
        EXPECT_EQ(asked("/media/" + ep.file), 0) << ep.file;
      }
    }
  }
  for (const Request& r : requests()) {
    SCOPED_TRACE(r.target);
    EXPECT_EQ(r.target.find("%25u"), std::string::npos);
    EXPECT_EQ(r.target.find("%2525"), std::string::npos);
    if (starts_with(r.target, "/media/")) {
      const std::string name = percent_decoded(r.target.substr(7));
      if (!ends_with(name, ".webm")) {
        EXPECT_TRUE(files.count(name)) << name;
        EXPECT_TRUE(r.status == 200 || r.status == 206) << r.status;
      }
    } else if (starts_with(r.target, "/box/pp.htm?")) {
      // The name as the client wrote it, up to a "#" in it (the log keeps
      // 300 characters of a target); the client writes it raw, so a "%41"
      // in it reaches the server as "A".
      const bool cut = ends_with(r.target, "...");
      const std::string query =
          percent_decoded(r.target.substr(12, r.target.size() - 12 - (cut ? 3 : 0)));
      bool known = false;
      for (const Series& s : catalogue) {
        for (std::size_t e = 0; e < s.episodes.size(); ++e) {
          std::string sent = s.id + "-1-" + std::to_string(e) + "-" + s.name + "-0";
          sent = percent_decoded(sent.substr(0, sent.find('#')));
          known |= cut ? starts_with(sent, query.substr(0, query.size() - 9)) : sent == query;
        }
      }
      EXPECT_TRUE(known) << query;
      EXPECT_EQ(r.status, 200);
    } else if (starts_with(r.target, "/box/play.htm?")) {
      const std::string address = urlUnescape(r.target.substr(r.target.find("$$$") + 3));
      EXPECT_TRUE(starts_with(address, server_->origin() + "/media/")) << address;
      EXPECT_TRUE(files.count(percent_decoded(address.substr(server_->origin().size() + 7))))
          << address;
    }
  }
}

}  // namespace
}  // namespace tav::test
