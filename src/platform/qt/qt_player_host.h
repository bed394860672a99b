// The player sites' widgets: the player library is loaded when the first
// one is made, and a player made in each; where the library is not
// registered or does not load, the area says so and the player is tried
// again later. With a trace, every call on a player is written to it.
#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QLibrary;

namespace tav {
class PlayerControl;
class PlayerSite;
namespace suite {
class EmbeddedPlayer;
class FileComponentRegistry;
}  // namespace suite
}  // namespace tav

namespace tav::qt {

class QtPlayers {
 public:
  explicit QtPlayers(const suite::FileComponentRegistry& registry);
  ~QtPlayers();
  QtPlayers(const QtPlayers&) = delete;
  QtPlayers& operator=(const QtPlayers&) = delete;

  // The widget of a player site, a child of parent, with the site's player
  // in it or a message.
  QWidget* make_host(PlayerSite& site, QWidget* parent);
  // The site's form unloads: its player goes, before the site's widget.
  void drop(PlayerSite& site);
  // Why the player could not be made, or "".
  const std::string& problem() const { return problem_; }
  // Where the calls on the players made from now on are written.
  std::function<void(const std::string&)> trace;

 private:
  void make_player(PlayerSite& site, QWidget* host);

  const suite::FileComponentRegistry& registry_;
  std::unique_ptr<PlayerControl> traced_player_;
  long long last_attempt_ms_ = -1000000;
  std::map<const PlayerSite*, std::unique_ptr<suite::EmbeddedPlayer>> players_;
  std::unique_ptr<QLibrary> library_;
  std::string problem_;
};

}  // namespace tav::qt
