// The link-protocol handlers and the episode reply, driven through the main
// window BA1 on the headless backend.
//
// Input: line 1 names the panel (1-7 for Web1..Web7, a for Webz2, b for
// Webz3) followed by flags; line 2 is the address a page in that panel
// navigates to (through the page-navigation path, as the desktop backend
// raises it); the rest is the content server's reply to every episode
// request. Flags, each a further click after the navigation:
//   n  next episode (transport button 5)    p  previous episode (button 6)
//   f  fetch the next episode ahead         s  the end of a film (the
//                                              sentinel in Web2)
//   o  open list entry 1 (open://1 in Web3)  d  delete list entry 1
//   l  show the local films (section 14)     q  clear the list shown (qk)
// and settings for the run: a  no automatic next episode (s_bo=1),
// h  no buffering ahead (s_h=1), x  every call on the player control fails
// (it raises an automation error), y  message boxes answer Yes.
// The history and the local films start with a few records.
//
// The window is created once and reused: each input starts from the same
// files (in memory), panels, player, state fields, controls and timers.
//
// Invariants: no crash or sanitizer report; navigations nest at most
// kMaxDepth deep (no endless loop); at most kMaxFetches HTTP fetches per
// click.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "forms/ba1.h"
#include "forms/tip.h"
#include "fuzz_support.h"
#include "platform/headless/headless.h"
#include "platform/posix/iconv_code_page.h"
#include "startup/settings.h"
#include "startup/startup.h"
#include "web/link_protocol.h"

namespace {

using tav::fuzz::violated;

constexpr int kMaxDepth = 8;
constexpr int kMaxFetches = 2;
constexpr std::size_t kMaxClicks = 4;
constexpr const char* kFolder = "/app";
constexpr const char* kBase = "http://127.0.0.1:8080/box/";

// Every request gets the scripted reply; more than kMaxFetches in one click
// is an error.
class FuzzHttp final : public tav::Http {
 public:
  std::string get(std::string_view url) override {
    if (++fetches > kMaxFetches)
      violated("at most two HTTP fetches per click", std::string(url));
    return reply;
  }
  bool still_executing() const override { return false; }
  void cancel() override {}
  std::string reply;
  int fetches = 0;
};

// The window's shared state fields, as they were after the start.
struct State {
  int webPlayMode, lastPos, resumePos, resumeDone;
  std::string nextLink, nextMedia;
  int nextBuffering, retryTicks;
  std::string filmKey, itemKey;
  int itemKind;
  std::string qvodDir, exitNotice;
  int libraryFailed, adFailed;
  std::string menuLink;
  int miniMode, tvMode, buttonsPainted, currentTab, currentSection;

  static State of(const tav::BA1& w) {
    return {w.webPlayMode,   w.lastPos,      w.resumePos,      w.resumeDone,  w.nextLink,
            w.nextMedia,     w.nextBuffering, w.retryTicks,    w.filmKey,     w.itemKey,
            w.itemKind,      w.qvodDir,      w.exitNotice,     w.libraryFailed, w.adFailed,
            w.menuLink,      w.miniMode,     w.tvMode,         w.buttonsPainted, w.currentTab,
            w.currentSection};
  }
  void restore(tav::BA1& w) const {
    w.webPlayMode = webPlayMode, w.lastPos = lastPos, w.resumePos = resumePos;
    w.resumeDone = resumeDone, w.nextLink = nextLink, w.nextMedia = nextMedia;
    w.nextBuffering = nextBuffering, w.retryTicks = retryTicks, w.filmKey = filmKey;
    w.itemKey = itemKey, w.itemKind = itemKind, w.qvodDir = qvodDir, w.exitNotice = exitNotice;
    w.libraryFailed = libraryFailed, w.adFailed = adFailed, w.menuLink = menuLink;
    w.miniMode = miniMode, w.tvMode = tvMode, w.buttonsPainted = buttonsPainted;
    w.currentTab = currentTab, w.currentSection = currentSection;
  }
};

struct ControlState {
  tav::Control* control;
  bool visible, enabled;
  int left, top, width, height;
  std::string caption, tooltip;
};

struct World {
  tav::fuzz::MemoryFiles files;
  tav::IconvCodePage gbk;
  tav::HeadlessPlatform hp{files, gbk};
  FuzzHttp http;
  tav::Platform pf{hp.code_page, files,         http,       hp.dialogs, hp.shell,
                   hp.processes, hp.registry,   hp.adapters, hp.instance, hp.tray,
                   hp.screen,    hp.clock,      hp.random,  hp.loop,    hp.windows,
                   hp.metrics,   hp.images,     hp.media,   hp.screen_saver};
  tav::AppConfig config{kFolder, kBase, "", "http://127.0.0.1:8080/player/"};
  std::unique_ptr<tav::BA1> w;

  std::map<std::string, std::string> start_files;
  std::string config_variants[2][2];  // [automatic next][buffer ahead]
  State state{};
  std::vector<ControlState> controls;
  std::vector<std::pair<tav::Timer*, bool>> timers;
  int depth = 0;

  World() {
    files.folders.insert(kFolder);
    w = tav::start_program(pf, config);
    if (!w) violated("the main window starts");
    // Panels raise BeforeNavigate through these wrappers, which bound the
    // nesting of navigations.
    for (const auto& c : w->controls()) {
      auto* b = dynamic_cast<tav::Browser*>(c.get());
      if (!b) continue;
      auto inner = b->on_before_navigate;
      b->on_before_navigate = [this, inner, b](const std::string& url, bool& cancel) {
        struct Depth {
          int& d;
          ~Depth() { --d; }
        } guard{++depth};
        if (depth > kMaxDepth)
          violated("navigations nest a bounded depth (no endless loop)", b->name() + " " + url);
        if (inner) inner(url, cancel);
      };
    }
    // A few records in both lists, for the list commands.
    files.files[std::string(kFolder) + "/date.dat"] = gbk.from_utf8(
        "12|天龙|第1集|qvod%3A//1234%7CABCD%7Ca.rmvb%7C|1|0|35\r\n"
        "7|X-Men|第2集|http%3A//m/b.mp4|2|4|0\r\n"
        "x|%u5929|L|qvod://x|a|b|c\r\n");
    files.files[std::string(kFolder) + "/date_f.dat"] = gbk.from_utf8(
        "a.mkv|/app/films/a.mkv|10\r\n电影.mp4|/app/films/gone.mp4|0\r\n");
    files.files[std::string(kFolder) + "/films/a.mkv"] = "video";
    start_files = files.files;
    const std::string ini = std::string(kFolder) + "/config.ini";
    const tav::SettingsFile store{files, gbk};
    for (int a = 0; a < 2; ++a)
      for (int h = 0; h < 2; ++h) {
        files.files = start_files;
        tav::write_setting(store, ini, "S_q", "s_bo", a ? "2" : "1");
        tav::write_setting(store, ini, "S_q", "s_h", h ? "2" : "1");
        config_variants[a][h] = files.files[ini];
      }
    files.files = start_files;
    state = State::of(*w);
    for (const auto& c : w->controls())
      controls.push_back({c.get(), c->visible(), c->enabled(), c->left(), c->top(), c->width(),
                          c->height(), c->caption(), c->tooltip()});
    for (const auto& t : w->timers()) timers.emplace_back(t.get(), t->enabled());
  }

  void reset(bool automatic, bool buffer) {
    files.files = start_files;
    files.files[std::string(kFolder) + "/config.ini"] = config_variants[automatic][buffer];
    if (w->tip_loaded()) w->unload_tip();
    // Fresh panels and player: the window is detached and attached again.
    hp.windows.detach(*w);
    hp.windows.attach(*w);
    state.restore(*w);
    for (const ControlState& s : controls) {
      tav::Control& c = *s.control;
      if (c.visible() != s.visible) c.set_visible(s.visible);
      if (c.enabled() != s.enabled) c.set_enabled(s.enabled);
      if (c.left() != s.left || c.top() != s.top || c.width() != s.width || c.height() != s.height)
        c.move(s.left, s.top, s.width, s.height);
      if (c.caption() != s.caption) c.set_caption(s.caption);
      if (c.tooltip() != s.tooltip) c.set_tooltip(s.tooltip);
    }
    for (auto& [t, enabled] : timers)
      if (t->enabled() != enabled) t->set_enabled(enabled);
    hp.log.clear();
    hp.shell.started.clear();
    hp.shell.opened.clear();
    hp.dialogs.answers.clear();
    depth = 0;
  }

  tav::Browser& panel(char c) {
    switch (c) {
      case '2': return w->Web2;
      case '3': return w->Web3;
      case '4': return w->Web4;
      case '5': return w->Web5;
      case '6': return w->Web6;
      case '7': return w->Web7;
      case 'a': return w->Webz2;
      case 'b': return w->Webz3;
      default: return w->Web1;
    }
  }

  // One user action: the fetch count starts again.
  template <typename Action>
  void click(Action action) {
    http.fetches = 0;
    action();
    if (depth != 0) violated("navigation depth unwinds");
  }
};

World& world() {
  static World* w = new World();  // lives for the whole run
  return *w;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  world();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  World& wd = world();
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  const std::size_t nl1 = in.find('\n');
  const std::string_view head = in.substr(0, nl1);
  std::string_view url, reply;
  if (nl1 != std::string_view::npos) {
    const std::size_t nl2 = in.find('\n', nl1 + 1);
    url = in.substr(nl1 + 1, nl2 == std::string_view::npos ? std::string_view::npos : nl2 - nl1 - 1);
    if (nl2 != std::string_view::npos) reply = in.substr(nl2 + 1);
  }
  const std::string_view flags = head.empty() ? head : head.substr(1);
  auto has = [&](char f) { return flags.find(f) != std::string_view::npos; };

  wd.reset(!has('a'), !has('h'));
  wd.hp.windows.player_faults.all = has('x');
  if (has('y')) wd.hp.dialogs.answers.assign(4, tav::MsgAnswer::Yes);
  wd.http.reply = std::string(reply);
  tav::BA1& w = *wd.w;

  tav::Browser& panel = wd.panel(head.empty() ? '1' : head[0]);
  const std::string address(url);
  wd.click([&] { panel.page_navigation(address); });
  for (const char f : flags.substr(0, kMaxClicks)) {
    switch (f) {
      case 'n': wd.click([&] { w.bo_but(5).click(); }); break;
      case 'p': wd.click([&] { w.bo_but(6).click(); }); break;
      case 'f': wd.click([&] { w.prefetchNextEpisode(); }); break;
      case 's':
        wd.click([&] { w.Web2.page_navigation(std::string(tav::kSentinelAddress)); });
        break;
      case 'o': wd.click([&] { w.Web3.page_navigation("open://1"); }); break;
      case 'd': wd.click([&] { w.Web3.page_navigation("delk://1"); }); break;
      case 'l': wd.click([&] { w.npc(14).click(); }); break;
      case 'q': wd.click([&] { w.qk.click(); }); break;
      default: break;
    }
  }
  return 0;
}
