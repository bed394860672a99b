// Every address the program uses on the content server, built from the
// server base URL (a host followed by "/box/", ending with a slash). No other
// code puts these paths together.
#pragma once

#include <string>
#include <string_view>

namespace tav {

class ServerAddresses {
 public:
  explicit ServerAddresses(std::string base) : base_(std::move(base)) {}
  // The base compiled into the program.
  static ServerAddresses built_in();

  const std::string& base() const { return base_; }
  std::string library() const { return base_; }
  std::string second_library() const { return base_ + "/yy"; }
  std::string tv() const { return base_ + "/tv"; }
  std::string episode_request(std::string_view series, std::string_view v,
                              std::string_view v1) const;
  // kind "$$$" address, the address as carried in the link (still escaped).
  std::string web_player(std::string_view kind, std::string_view address) const;
  // series "-" v "-" v1 "-" name "-" last
  std::string episode_page(std::string_view series, std::string_view v, std::string_view v1,
                           std::string_view name, std::string_view last = "0") const;
  std::string version_file() const { return base_ + "lib/wen.txt"; }
  std::string updater() const { return base_ + "update/update.exe"; }
  std::string usage_ping(std::string_view machine_id) const;
  std::string player_ad() const { return base_ + "js/ads/qvodad.html"; }
  std::string floating_ad() const { return base_ + "js/ads/fudong.html"; }
  std::string notice_ad() const { return base_ + "js/ads/tui.html"; }

 private:
  std::string base_;
};

}  // namespace tav
