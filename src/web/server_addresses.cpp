#include "web/server_addresses.h"

namespace tav {

ServerAddresses ServerAddresses::built_in() { return ServerAddresses(TAVORI_SERVER_BASE); }

std::string ServerAddresses::episode_request(std::string_view series, std::string_view v,
                                             std::string_view v1) const {
  std::string url = base_ + "h.asp?id=";
  url += series;
  url += "&v=";
  url += v;
  url += "&v1=";
  url += v1;
  return url;
}

std::string ServerAddresses::web_player(std::string_view kind, std::string_view address) const {
  std::string url = base_ + "play.htm?";
  url += kind;
  url += "$$$";
  url += address;
  return url;
}

std::string ServerAddresses::episode_page(std::string_view series, std::string_view v,
                                          std::string_view v1, std::string_view name,
                                          std::string_view last) const {
  std::string url = base_ + "pp.htm?";
  for (const std::string_view part : {series, v, v1, name}) {
    url += part;
    url += '-';
  }
  url += last;
  return url;
}

std::string ServerAddresses::usage_ping(std::string_view machine_id) const {
  return base_ + "tj/tj.asp?id=" + std::string(machine_id);
}

}  // namespace tav
