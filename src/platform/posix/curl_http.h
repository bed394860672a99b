// Blocking HTTP GET on libcurl, with time-outs and a cap on the body.
#pragma once

#include <atomic>
#include <cstddef>

#include "platform/http.h"

namespace tav {

class CodePage;

struct HttpLimits {
  long connect_timeout_ms = 3000;   // a dead host costs at most this
  long total_timeout_ms = 8000;     // a hanging server costs at most this
  std::size_t max_body_bytes = 1u << 20;
};

class CurlHttp final : public Http {
 public:
  // Bodies that are not UTF-8 (by their charset, or by their bytes when no
  // charset is given) are read in the code page.
  explicit CurlHttp(const CodePage& code_page, HttpLimits limits = {});
  ~CurlHttp() override;
  CurlHttp(const CurlHttp&) = delete;
  CurlHttp& operator=(const CurlHttp&) = delete;

  std::string get(std::string_view url) override;
  bool still_executing() const override { return running_; }
  void cancel() override { cancelled_ = true; }

  // Percent-encodes what may not stand in a request line (spaces, control
  // characters, bytes above 127), as a browser does before sending.
  static std::string request_url(std::string_view url);

 private:
  const CodePage& code_page_;
  HttpLimits limits_;
  std::atomic<bool> running_{false};
  std::atomic<bool> cancelled_{false};
};

}  // namespace tav
