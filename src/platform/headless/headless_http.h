// HTTP by script: replies by address prefix, or a real client behind.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/headless/effect_log.h"
#include "platform/http.h"

namespace tav {

class HeadlessHttp final : public Http {
 public:
  explicit HeadlessHttp(EffectLog& log) : log_(log) {}
  std::string get(std::string_view url) override;
  bool still_executing() const override { return false; }
  void cancel() override {}
  // Requests that start with the prefix get the reply; the last rule added
  // for a prefix wins, and longer prefixes win over shorter ones.
  void reply(std::string prefix, std::string body) { rules_[std::move(prefix)] = std::move(body); }
  // Forward requests without a rule to a real client.
  void forward_to(Http* real) { real_ = real; }
  std::vector<std::string> requests;

 private:
  EffectLog& log_;
  std::map<std::string, std::string> rules_;
  Http* real_ = nullptr;
};

}  // namespace tav
