// The episode data service: the previous and next episode on request, and
// the next episode fetched ahead while the current one plays.
#include "base/text.h"
#include "forms/ba1.h"
#include "platform/http.h"
#include "tray/tray_icon.h"
#include "web/link_protocol.h"
#include "web/text_routines.h"

namespace tav {

namespace {

struct FilmKey {
  std::string series, v, v1, name;
};

// The film key's fields, or nothing for a local film ("0") or a broken key.
std::optional<FilmKey> split_key(const std::string& key) {
  if (key == "0" || !contains(key, "-")) return std::nullopt;
  const std::vector<std::string> f = split(key, "-");
  return FilmKey{field(f, 0), field(f, 1), field(f, 2), field(f, 3)};
}

}  // namespace

void BA1::stepEpisode(int direction) {
  const int delta = direction == 1 ? -1 : 1;
  const auto key = split_key(filmKey);
  if (!key) return;
  const int episode = to_int32(key->v1);
  if (episode == 0 && direction == 1) return;
  const std::string next = to_text(static_cast<long long>(episode) + delta);
  const std::string reply = pf.http.get(server.episode_request(key->series, key->v, next));
  if (reply == "1" || reply == "0" || !contains(reply, "$")) return;
  const std::vector<std::string> r = split(reply, "$");
  navigateOwn(Web1, std::string(kPlayScheme) + field(r, 2) + "&&&" + urlEscape(field(r, 1)) +
                        "&&&" + key->name + "&&&" + field(r, 0) + "&&&" + key->series + "&&&" +
                        key->v + "&&&" + next);
}

void BA1::prefetchNextEpisode() {
  if (to_int32(setting("S_q", "s_h")) != 2) {
    nextLink = "0";
    return;
  }
  const auto key = split_key(filmKey);
  if (!key) return;
  const std::string next = to_text(static_cast<long long>(to_int32(key->v1)) + 1);
  const std::string reply = pf.http.get(server.episode_request(key->series, key->v, next));
  if (reply == "1") {
    nextLink = "1";
    nextMedia = "1";
  } else if (reply == "0") {
    nextLink = "0";
    nextMedia = "0";
  } else if (contains(reply, "$")) {
    const std::vector<std::string> r = split(reply, "$");
    nextMedia = field(r, 1);
    nextBuffering = 0;
    nextLink = std::string(kPlayScheme) + "qvod&&&" + urlEscape(field(r, 1)) + "&&&" + key->name +
               "&&&" + field(r, 0) + "&&&" + key->series + "&&&" + key->v + "&&&" + next;
  } else {
    nextLink = "3";
    nextMedia = "0";
    retryTicks = 0;
    nextBuffering = 1;
    showBalloon(*this, "读取下一集数据出错，稍后将重新读取！");
    Timer4.set_enabled(true);
  }
}

}  // namespace tav
