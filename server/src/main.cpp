// tavori-server: the demo content server of the Tavori client.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <iostream>
#include <thread>

#include "catalogue.h"
#include "export.h"
#include "http_server.h"
#include "options.h"
#include "startup/version.h"

int main(int argc, char** argv) {
  tsrv::Options options;
  // The version file names the version of this build, as the client of the
  // same build has it, unless told otherwise (--release: the release's).
  options.version_fields.newest = std::string(tav::program_version());
  std::string error;
  switch (tsrv::parse_options(argc, argv, options, error)) {
    case tsrv::ParseResult::help:
      std::cout << tsrv::usage_text();
      return 0;
    case tsrv::ParseResult::bad:
      std::cerr << "tavori-server: " << error << "\n(see tavori-server --help)\n";
      return 2;
    case tsrv::ParseResult::run:
      break;
  }
  if (options.catalogue.empty()) options.catalogue = tsrv::default_catalogue_path();
  if (options.media.empty()) options.media = tsrv::default_media_dir();

  tsrv::Catalogue catalogue;
  try {
    catalogue = tsrv::load_catalogue(options.catalogue);
  } catch (const tsrv::CatalogueError& e) {
    std::cerr << "tavori-server: bad catalogue: " << e.what() << "\n";
    return 1;
  }

  if (!options.export_dir.empty()) {
    std::string message;
    const bool done = tsrv::export_site(options, catalogue, message);
    (done ? std::cout : std::cerr) << "tavori-server: " << message << "\n";
    return done ? 0 : 1;
  }

  // SIGINT and SIGTERM are taken by one thread that stops the server; every
  // other thread (httplib's workers included) inherits the blocked mask.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  tsrv::ContentServer server(options, catalogue);
  std::atomic<bool> finished{false};
  std::thread watcher([&] {
    const timespec tick{0, 100 * 1000 * 1000};
    bool asked = false;
    while (!finished) {
      const int sig = sigtimedwait(&stop_signals, nullptr, &tick);
      if (sig == SIGINT || sig == SIGTERM) asked = true;
      // Repeated until run() returns, in case the signal came before the
      // server was listening.
      if (asked) server.stop();
    }
  });
  const int status = server.run();
  finished = true;
  watcher.join();
  return status;
}
