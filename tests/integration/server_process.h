// Runs tavori-server for a test: in a fresh temporary folder (its working
// folder, where its output and ping log go), on a free loopback port.
//
//   tav::test::ServerProcess server({"--wen", "1====0====0====2.0"});
//   ASSERT_TRUE(server.ready()) << server.output();
//   http.get(server.base() + "lib/wen.txt");
//
// or, to put files into the folder first:
//
//   tav::test::ServerProcess server(tav::test::ServerProcess::later);
//   server.folder().write("catalogue.txt", "...");
//   ASSERT_TRUE(server.start({"--catalogue", "catalogue.txt"}));
//
// raw_request() speaks HTTP over a plain socket, for what a real client
// would never send and for the status line and headers.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "temp_dir.h"

#ifndef TAVORI_SERVER_BINARY
#error "TAVORI_SERVER_BINARY must name the tavori-server executable"
#endif

namespace tav::test {

class ServerProcess {
 public:
  struct Later {};
  static constexpr Later later{};

  // Starts at once with these arguments besides the port options.
  explicit ServerProcess(const std::vector<std::string>& args = {}) { start(args); }
  // Only makes the folder; start() follows.
  explicit ServerProcess(Later) {}
  ~ServerProcess() { stop(); }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // Runs the server with "--port 0 --port-file <folder>/port" and the
  // arguments; true once it listens (waits up to ten seconds). False when
  // it exits first or is too slow; output() tells why.
  bool start(const std::vector<std::string>& args) {
    stop();
    const std::string port_file = dir_.file("port");
    std::remove(port_file.c_str());
    std::vector<std::string> argv_text = {TAVORI_SERVER_BINARY, "--port", "0", "--port-file",
                                          port_file};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string output = dir_.file("server-output.txt");
    const std::string folder = dir_.str();

    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
      // Only async-signal-safe calls between fork and exec.
      prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive the test
      if (chdir(folder.c_str()) != 0) _exit(126);
      const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int in = open("/dev/null", O_RDONLY);
      if (out < 0 || in < 0) _exit(126);
      dup2(in, 0);
      dup2(out, 1);
      dup2(out, 2);
      execv(argv[0], argv.data());
      _exit(127);
    }
    pid_ = pid;
    exit_status_ = -1;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      const std::string text = dir_.read("port");
      if (!text.empty() && text.back() == '\n') {
        port_ = std::atoi(text.c_str());
        return port_ > 0;
      }
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  // SIGTERM, then up to the grace time for it to end, then SIGKILL. The
  // exit status, or -1 when it had to be killed or died of a signal.
  int stop(std::chrono::milliseconds grace = std::chrono::milliseconds(5000)) {
    if (pid_ <= 0) return exit_status_;
    kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(pid_, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (done == pid_) {
      exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    } else {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      exit_status_ = -1;
    }
    pid_ = -1;
    port_ = 0;
    return exit_status_;
  }

  bool ready() const { return pid_ > 0 && port_ > 0; }
  bool running() const { return pid_ > 0; }
  // The exit status after the process ended; -1 before.
  int exit_status() const { return exit_status_; }
  int port() const { return port_; }
  std::string origin() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::string base() const { return origin() + "/box/"; }
  const TempDir& folder() const { return dir_; }
  // Everything the server wrote to stdout and stderr so far.
  std::string output() const { return dir_.read("server-output.txt"); }

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  int port_ = 0;
  int exit_status_ = -1;
};

struct RawReply {
  int status = 0;    // 0: no status line came
  std::string head;  // status line and headers
  std::string body;
  bool closed = false;  // the server closed the connection before the reply was whole
  std::string header(std::string_view name) const {
    std::string lower_head, lower_name(name);
    for (const char c : head)
      lower_head += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : lower_name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::size_t at = lower_head.find("\r\n" + lower_name + ":");
    if (at == std::string::npos) return {};
    std::size_t from = at + 3 + lower_name.size();
    while (from < head.size() && head[from] == ' ') ++from;
    return head.substr(from, head.find("\r\n", from) - from);
  }
};

// Sends the bytes as they are and reads one reply: up to its Content-Length,
// else until the server closes the connection; never past the time-out.
inline RawReply raw_request(int port, std::string_view request, int timeout_ms = 5000) {
  RawReply reply;
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return reply;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return reply;
  }
  std::size_t sent = 0;
  while (sent < request.size()) {
    const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  std::string data;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  char buf[65536];
  std::size_t want = std::string::npos;  // head and body, once the head says
  while (data.size() < want) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) {
      reply.closed = true;
      break;
    }
    data.append(buf, static_cast<std::size_t>(n));
    const std::size_t end = data.find("\r\n\r\n");
    if (want == std::string::npos && end != std::string::npos) {
      reply.head = data.substr(0, end);
      const std::string length = reply.header("Content-Length");
      if (!length.empty()) want = end + 4 + std::strtoull(length.c_str(), nullptr, 10);
    }
  }
  close(fd);
  const std::size_t end = data.find("\r\n\r\n");
  reply.head = data.substr(0, end);
  if (end != std::string::npos) reply.body = data.substr(end + 4);
  if (data.rfind("HTTP/1.", 0) == 0 && data.size() > 12) reply.status = std::atoi(data.c_str() + 9);
  return reply;
}

// A GET as a browser sends it, with the target exactly as given.
inline RawReply raw_get(int port, std::string_view target, std::string_view extra_headers = {},
                        int timeout_ms = 5000) {
  std::string request = "GET ";
  request += target;
  request += " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\nConnection: close\r\n";
  request += extra_headers;
  request += "\r\n";
  return raw_request(port, request, timeout_ms);
}

}  // namespace tav::test
