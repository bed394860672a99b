// Blocking HTTP fetch of a text body.
#pragma once

#include <string>
#include <string_view>

namespace tav {

class Http {
 public:
  virtual ~Http() = default;
  // GET; the body of a 2xx reply, or the empty text on any failure (no
  // connection, time-out, error status, oversized body). Blocks the caller.
  virtual std::string get(std::string_view url) = 0;
  // True while a fetch is running.
  virtual bool still_executing() const = 0;
  // Abandons a running fetch.
  virtual void cancel() = 0;
};

}  // namespace tav
