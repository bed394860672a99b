// The HTTP client against servers that are not there or too slow.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "platform/posix/curl_http.h"
#include "platform/posix/iconv_code_page.h"
#include "server_process.h"

namespace tav {
namespace {

// A loopback port that nothing listens on.
int closed_port() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t n = sizeof a;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
  ::close(s);
  return ntohs(a.sin_port);
}

double seconds_since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

TEST(CurlHttp, ADeadServerGivesTheEmptyTextAtOnce) {
  IconvCodePage gbk;
  CurlHttp http(gbk);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(http.get("http://127.0.0.1:" + std::to_string(closed_port()) + "/box/h.asp?id=1"), "");
  EXPECT_LT(seconds_since(start), 1.0);
  EXPECT_FALSE(http.still_executing());
  EXPECT_EQ(http.get("not a url"), "");
  EXPECT_EQ(http.get("ftp://127.0.0.1/x"), "");
}

TEST(CurlHttp, ASlowServerCostsNoMoreThanTheTimeOut) {
  test::ServerProcess server({"--delay-ms", "3000"});
  ASSERT_TRUE(server.ready()) << server.output();
  IconvCodePage gbk;
  HttpLimits limits;
  limits.total_timeout_ms = 1000;
  CurlHttp impatient(gbk, limits);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(impatient.get(server.base() + "lib/wen.txt"), "");
  const double took = seconds_since(start);
  EXPECT_GE(took, 0.9);
  EXPECT_LT(took, 2.0);
  // With the program's own limits the same server still answers.
  CurlHttp http(gbk);
  EXPECT_EQ(http.get(server.base() + "lib/wen.txt"), "0====0====0====1.0");
}

TEST(CurlHttp, TheBuiltInLimitsKeepTheWindowWaitingSecondsNotMinutes) {
  const HttpLimits limits;
  EXPECT_LE(limits.connect_timeout_ms, 5000);
  EXPECT_LE(limits.total_timeout_ms, 10000);
  EXPECT_LE(limits.max_body_bytes, 4u << 20);
}

TEST(CurlHttp, ErrorStatusesAndUnsafeAddressesGiveTheEmptyTextOrAreEncoded) {
  test::ServerProcess server;
  ASSERT_TRUE(server.ready()) << server.output();
  IconvCodePage gbk;
  CurlHttp http(gbk);
  EXPECT_EQ(http.get(server.base() + "no-such-page"), "");
  EXPECT_EQ(CurlHttp::request_url("http://h/pp.htm?1-1-0-天 龙"),
            "http://h/pp.htm?1-1-0-%E5%A4%A9%20%E9%BE%99");
  EXPECT_EQ(CurlHttp::request_url("http://h/a?x=%u5929|y"), "http://h/a?x=%u5929|y");
  EXPECT_EQ(CurlHttp::request_url("http://h/a\"\x7F#b"), "http://h/a%22%7F#b");
  EXPECT_NE(http.get(server.base() + "pp.htm?1001-1-0-山海长歌-0").find("山海长歌"),
            std::string::npos);
}

}  // namespace
}  // namespace tav
