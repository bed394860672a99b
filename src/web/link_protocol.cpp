// The panels' before-navigate handlers: lookup links, play links, the view
// switches, the forwarding panels and the sentinel of the next episode.
#include "web/link_protocol.h"

#include "base/attempt.h"
#include "base/text.h"
#include "forms/ba1.h"
#include "platform/http.h"
#include "platform/processes.h"
#include "platform/shell.h"
#include "playback/processes.h"
#include "tray/tray_icon.h"
#include "web/text_routines.h"

namespace tav {

namespace {

std::string payload(const std::string& url, std::string_view scheme) {
  return drop_trailing_slash(replace_all(url, scheme, ""));
}

}  // namespace

std::string command_for(const std::string& program) {
  return program.find(' ') != std::string::npos ? "\"" + program + "\"" : program;
}

void BA1::navigateOwn(Browser& panel, const std::string& url) {
  ownPanel_ = &panel;
  ownUrl_ = url;
  panel.navigate(url);
  ownPanel_ = nullptr;
  ownUrl_.clear();
}

bool BA1::takeOwnNavigation(const Browser& panel, const std::string& url) {
  if (ownPanel_ != &panel || ownUrl_ != url) return false;
  ownPanel_ = nullptr;
  ownUrl_.clear();
  return true;
}

void BA1::Web1_BeforeNavigate2(const std::string& url, bool& cancel) {
  if (takeOwnNavigation(Web1, url)) {  // only play links come this way
    cancel = true;
    playLink(url);
  } else if (contains(url, kLookupScheme)) {
    cancel = true;
    lookupLink(url);
  } else if (contains(url, kPlayScheme)) {
    cancel = true;
    playLink(url);
  } else if (contains(url, "jilux://")) {
    npc_Click(13);
    npc_Click(9);
  } else if (contains(url, "tvx://")) {
    npc_Click(10);
  }
}

void BA1::lookupLink(const std::string& url) {
  const std::vector<std::string> f = split(payload(url, kLookupScheme), "-");
  const std::string series = to_text(to_int32(field(f, 0)));
  const std::string v = field(f, 1), v1 = field(f, 2), name = field(f, 3);
  zhun.set_caption("正在搜索资源，请稍后");
  const std::string reply = pf.http.get(server.episode_request(series, v, v1));
  if (reply.empty() || reply == "1" || reply == "0") {
    nextLink = "1";
    zhun.set_caption("读取数据出错，请重试");
  }
  if (contains(reply, "$")) {
    const std::vector<std::string> r = split(reply, "$");
    navigateOwn(Web1, std::string(kPlayScheme) + field(r, 2) + "&&&" + urlEscape(field(r, 1)) +
                          "&&&" + name + "&&&" + field(r, 0) + "&&&" + series + "&&&" + v +
                          "&&&" + v1);
  } else {
    showBalloon(*this, "读取数据出错，请返回重试！");
    zhun.set_caption("读取数据出错，请返回重试");
  }
}

void BA1::ensureQvodTerminal() {
  if (findProcessId(pf.processes, kQvodTerminal) != 0) return;
  if (qvodDir.empty()) qvodDir = setting("S_q", "qvodw");
  if (!qvodDir.empty())
    pf.shell.start(command_for(qvodDir + std::string(kQvodTerminal)), WindowStyle::MinimizedFocus);
}

void BA1::playLink(const std::string& url) {
  if (webPlayMode == 0) attempt([&] { bo_but_Click(1); });
  attempt([&] { ensureQvodTerminal(); });

  const std::vector<std::string> f = split(payload(url, kPlayScheme), "&&&");
  const std::string kind = field(f, 0);
  const std::string address = field(f, 1);
  const std::string name = urlUnescape(field(f, 2));
  const std::string label = urlUnescape(field(f, 3));
  const std::string series = to_text(to_int32(field(f, 4)));
  const std::string v = field(f, 5), v1 = field(f, 6);

  if (kind == "qvod") {
    resumePos = 0;
    webPlayMode = 0;
    attempt([&] {
      player.set_address(urlUnescape(address));
      player.play();
    });
    if (!Timer1.enabled()) Timer1.set_enabled(true);
    itemKey = series;
    if (!qvod.visible()) {
      qvod.set_visible(true);
      Pic2.set_visible(false);
    }
  } else {
    webPlayMode = 1;
    navigateOwn(Web2, server.web_player(kind, address));
    itemKey = "0";
    if (qvod.visible()) {
      qvod.set_visible(false);
      Web2.set_visible(true);
      Pic2.set_visible(true);
    }
    Timer1.set_enabled(false);
    bo_but(0).set_tooltip("暂停");
    bo_but(0).set_picture(but(1).picture());
    gunt1.set_left(0);
    huan.move(0, huan.top(), 0, huan.height());
    times.set_caption("");
  }

  filmKey = series + "-" + v + "-" + v1 + "-" + name;
  nextLink = "0";
  nextBuffering = 0;
  nextMedia = "0";
  bo_name.set_caption(fit_width(pf.code_page, name, 30) + "-" + label);

  if (!name.empty() && !field(f, 4).empty() && !address.empty()) {
    if (field(f, 7) != "n") navigateOwn(Web4, server.episode_page(series, v, v1, name));
    lists.add_history(to_int32(series), name, label, address, to_int32(v), to_int32(v1), 0);
  }
  itemKind = 1;
  npc_Click(12);
  npc_Click(9);
}

void BA1::Web4_BeforeNavigate2(const std::string& url, bool&) {
  if (takeOwnNavigation(Web4, url)) return;
  if (contains(url, kLookupScheme) || contains(url, kPlayScheme)) Web1.navigate(url);
}

void BA1::Web5_BeforeNavigate2(const std::string& url, bool& cancel) {
  if (starts_with(url, "open://") || starts_with(url, "delk://")) {
    cancel = true;
    Web3.navigate(url);
  }
}

void BA1::Web2_BeforeNavigate2(const std::string& url, bool& cancel) {
  if (takeOwnNavigation(Web2, url)) return;
  if (!contains(url, kSentinelPrefix)) return;
  cancel = true;
  if (to_int32(setting("S_q", "s_bo")) != 2) {
    Timer1.set_enabled(true);
    return;
  }
  if (nextLink != "1" && nextLink != "0" && nextLink != "3") navigateOwn(Web1, nextLink);
}

}  // namespace tav
