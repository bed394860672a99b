#include "platform/headless/headless_http.h"

#include "base/text.h"

namespace tav {

std::string HeadlessHttp::get(std::string_view url) {
  requests.emplace_back(url);
  const std::string* best = nullptr;
  std::size_t best_len = 0;
  for (const auto& [prefix, body] : rules_) {
    if (starts_with(url, prefix) && (!best || prefix.size() >= best_len)) {
      best = &body;
      best_len = prefix.size();
    }
  }
  std::string body = best ? *best : (real_ ? real_->get(url) : std::string());
  log_.add("fetch " + std::string(url) + " -> " + quoted(body.size() > 80 ? body.substr(0, 80) + "..." : body));
  return body;
}

}  // namespace tav
