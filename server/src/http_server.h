// The HTTP side of tavori-server: routes, fault modes, start and stop.
#pragma once

#include <memory>

namespace tsrv {

struct Catalogue;
struct Options;

class ContentServer {
 public:
  ContentServer(const Options& options, const Catalogue& catalogue);
  ~ContentServer();
  ContentServer(const ContentServer&) = delete;
  ContentServer& operator=(const ContentServer&) = delete;

  // Binds, writes the port file, serves until stop(). The exit status:
  // 0 after a stop, 1 when the server could not start.
  int run();
  // May be called from any thread, also before run() got going.
  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tsrv
