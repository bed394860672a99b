// tavori_bench_probe: the measuring hands of tools/bench.
//
//   tavori_bench_probe stamp
//       copies its input to its output line by line, each line preceded by
//       the wall-clock time it arrived (microseconds since the epoch); for
//       the program's trace, written into a named pipe.
//   tavori_bench_probe frame X Y W H TIMEOUT_MS COMMAND [ARG...]
//       looks at the screen box once, starts COMMAND (in a session of its
//       own, left running), then looks at the box every 5 ms until it shows
//       the test clip. Prints "pid N" and "start T" (T in microseconds since
//       the epoch, just before the fork), then "frame MS" (milliseconds from
//       the start), "timeout", or "failed STATUS" when COMMAND ended with a
//       failure. Exit status 0 when seen, 1 on time out or failure, 2 on a
//       usage or X error, 3 when the box showed the clip before COMMAND ran.
//   tavori_bench_probe clip X Y W H
//       exit status 0 when the box shows the clip now, 1 when not.
//
// The clip is a test picture of colour bars (ffmpeg's testsrc2) over most
// of the frame. The box "shows the clip" when at least a quarter of its
// pixels are strongly coloured (largest channel minus smallest at least
// 100), which no page, logo or black frame of either player reaches.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

namespace {

long long epoch_us() {
  using namespace std::chrono;
  return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

int usage() {
  std::fprintf(stderr,
               "usage: tavori_bench_probe stamp\n"
               "       tavori_bench_probe frame X Y W H TIMEOUT_MS COMMAND [ARG...]\n"
               "       tavori_bench_probe clip X Y W H\n");
  return 2;
}

int stamp() {
  std::ios::sync_with_stdio(false);
  std::string line;
  while (std::getline(std::cin, line)) {
    std::cout << epoch_us() << ' ' << line << '\n';
    std::cout.flush();
  }
  return 0;
}

struct Box {
  int x = 0, y = 0, w = 0, h = 0;
};

bool parse_box(char** argv, Box& b) {
  b = {std::atoi(argv[0]), std::atoi(argv[1]), std::atoi(argv[2]), std::atoi(argv[3])};
  return b.w > 0 && b.h > 0 && b.x >= 0 && b.y >= 0;
}

class Screen {
 public:
  Screen() {
    int number = 0;
    c_ = xcb_connect(nullptr, &number);
    if (xcb_connection_has_error(c_)) return;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c_));
    for (; it.rem && number > 0; --number) xcb_screen_next(&it);
    if (it.rem) screen_ = it.data;
  }
  ~Screen() { xcb_disconnect(c_); }
  bool ok() const { return screen_ && screen_->root_depth >= 24; }

  // Whether the box shows the clip; nothing when the screen could not be read.
  int shows_clip(const Box& b) {
    xcb_get_image_cookie_t cookie = xcb_get_image(c_, XCB_IMAGE_FORMAT_Z_PIXMAP, screen_->root,
                                                  static_cast<int16_t>(b.x), static_cast<int16_t>(b.y),
                                                  static_cast<uint16_t>(b.w), static_cast<uint16_t>(b.h),
                                                  ~0u);
    xcb_generic_error_t* error = nullptr;
    std::unique_ptr<xcb_get_image_reply_t, decltype(&std::free)> reply(
        xcb_get_image_reply(c_, cookie, &error), &std::free);
    if (!reply) {
      if (error) last_error_ = error->error_code;
      std::free(error);
      return -1;
    }
    const uint8_t* data = xcb_get_image_data(reply.get());
    const int length = xcb_get_image_data_length(reply.get());
    // 24-bit depth: four bytes a pixel, blue, green, red, unused.
    long coloured = 0, all = 0;
    for (int i = 0; i + 3 < length; i += 4) {
      const int bl = data[i], g = data[i + 1], r = data[i + 2];
      const int hi = std::max(r, std::max(g, bl)), lo = std::min(r, std::min(g, bl));
      coloured += hi - lo >= 100;
      ++all;
    }
    return all > 0 && coloured * 4 >= all ? 1 : 0;
  }

  // The X error of the last read that failed.
  int last_error() const { return last_error_; }

 private:
  int last_error_ = 0;
  xcb_connection_t* c_ = nullptr;
  xcb_screen_t* screen_ = nullptr;
};

pid_t start(char** argv) {
  const pid_t pid = fork();
  if (pid == 0) {
    setsid();
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, 0);
      dup2(null, 1);
      dup2(null, 2);
    }
    execvp(argv[0], argv);
    _exit(127);
  }
  return pid;
}

int frame(int argc, char** argv) {
  Box box;
  if (argc < 6 || !parse_box(argv, box)) return usage();
  const int timeout_ms = std::atoi(argv[4]);
  Screen screen;
  if (!screen.ok()) {
    std::fprintf(stderr, "tavori_bench_probe: no 24-bit X screen\n");
    return 2;
  }
  const int before = screen.shows_clip(box);
  if (before != 0) {
    std::printf(before < 0 ? "unreadable\n" : "busy\n");
    return before < 0 ? 2 : 3;
  }
  const long long t0 = epoch_us();
  const pid_t pid = start(argv + 5);
  if (pid < 0) return 2;
  std::printf("pid %d\nstart %lld\n", static_cast<int>(pid), t0);
  std::fflush(stdout);
  auto next = std::chrono::steady_clock::now();
  // A read of the screen fails now and then while windows are made or
  // mapped: only a screen that stays unreadable ends the wait.
  int unreadable = 0;
  for (;;) {
    // A short command (xdotool, a second start) ends by itself; one that
    // fails ends the wait.
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
      std::printf("failed %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
      return 1;
    }
    const int seen = screen.shows_clip(box);
    const long long now = epoch_us();
    if (seen > 0) {
      std::printf("frame %.1f\n", static_cast<double>(now - t0) / 1000.0);
      return 0;
    }
    unreadable = seen < 0 ? unreadable + 1 : 0;
    if (unreadable >= 200) {
      std::printf("unreadable X error %d\n", screen.last_error());
      return 1;
    }
    if (now - t0 > timeout_ms * 1000LL) {
      std::printf("timeout\n");
      return 1;
    }
    next = std::max(next + std::chrono::milliseconds(5), std::chrono::steady_clock::now());
    std::this_thread::sleep_until(next);
  }
}

int clip(int argc, char** argv) {
  Box box;
  if (argc != 4 || !parse_box(argv, box)) return usage();
  Screen screen;
  if (!screen.ok()) return 2;
  return screen.shows_clip(box) == 1 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string what = argv[1];
  if (what == "stamp") return stamp();
  if (what == "frame") return frame(argc - 2, argv + 2);
  if (what == "clip") return clip(argc - 2, argv + 2);
  return usage();
}
