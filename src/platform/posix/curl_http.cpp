#include "platform/posix/curl_http.h"

#include <curl/curl.h>

#include <mutex>
#include <string>

#include "base/percent_encoding.h"
#include "base/text.h"
#include "platform/code_page.h"
#include "platform/posix/http_text.h"

namespace tav {

namespace {

struct Transfer {
  std::string body;
  std::size_t cap = 0;
  bool too_big = false;
  const std::atomic<bool>* cancelled = nullptr;
};

std::size_t on_data(char* data, std::size_t size, std::size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const std::size_t n = size * count;
  if (t->body.size() + n > t->cap) {
    t->too_big = true;
    return 0;  // makes curl fail the transfer
  }
  t->body.append(data, n);
  return n;
}

int on_progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<Transfer*>(user)->cancelled->load() ? 1 : 0;
}

void init_curl_once() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

CurlHttp::CurlHttp(const CodePage& code_page, HttpLimits limits)
    : code_page_(code_page), limits_(limits) {
  init_curl_once();
}

CurlHttp::~CurlHttp() = default;

std::string CurlHttp::request_url(std::string_view url) {
  static constexpr ByteSet kKept = ByteSet().with_range(0x21, 0x7E).without("\"<>`{}^\\");
  return percent_encode(url, kKept);
}

std::string CurlHttp::get(std::string_view url) {
  CURL* curl = curl_easy_init();
  if (!curl) return {};
  running_ = true;
  cancelled_ = false;
  Transfer t;
  t.cap = limits_.max_body_bytes;
  t.cancelled = &cancelled_;
  const std::string target = request_url(url);
  curl_easy_setopt(curl, CURLOPT_URL, target.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 3L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, limits_.connect_timeout_ms);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, limits_.total_timeout_ms);
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, on_data);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, on_progress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Tavori/1.0");
  const CURLcode rc = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  const char* type = nullptr;
  curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type);
  const std::string content_type = type ? type : "";
  curl_easy_cleanup(curl);
  running_ = false;
  if (rc != CURLE_OK || t.too_big || status < 200 || status > 299) return {};

  return decode_body(t.body, content_type, code_page_);
}

}  // namespace tav
