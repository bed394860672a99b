// tavori_bench_lists FOLDER [BATCHES CALLS]
//
// Times the list operations of the watch history and the local films on
// lists of 101 records in FOLDER (on disk, as the application folder is):
// adding a record on top, moving one to the top, deleting a line, saving a
// position, and writing the list page. Prints one line per operation:
//   NAME <TAB> median <TAB> min <TAB> max
// in microseconds per call, over BATCHES batches (default 5) of CALLS calls
// (default 40) each.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "lists/list_files.h"
#include "lists/list_pages.h"
#include "platform/posix/iconv_code_page.h"
#include "platform/posix/posix_files.h"

namespace {

constexpr int kRecords = 101;

std::string history_text(int first_id) {
  std::string text;
  for (int i = 0; i < kRecords; ++i) {
    const std::string n = std::to_string(i + 1);
    text += std::to_string(first_id + i) + "|测试剧第" + n + "部|第" + n + "集|qvod%3A//73400320%7C" +
            "9F3C2B7A51E04D86A1C3E5F7092B4D6E8A0C1E3F%7C测试剧第" + n + "集.mp4%7C|1|" +
            std::to_string(i % 30) + "|" + std::to_string(i * 61 % 5400) + "\r\n";
  }
  return text;
}

std::string local_text() {
  std::string text;
  for (int i = 0; i < kRecords; ++i) {
    const std::string n = std::to_string(i + 1);
    text += "本机影片" + n + ".mp4|/home/user/视频/本机影片" + n + ".mp4|" + std::to_string(i * 37 % 5400) +
            "\r\n";
  }
  return text;
}

struct Figure {
  double median = 0, min = 0, max = 0;
};

// Per-call time of `call`, with `prepare` run untimed before each call.
Figure measure(int batches, int calls, const std::function<void(int)>& prepare,
               const std::function<void(int)>& call) {
  std::vector<double> per_call;
  int n = 0;
  for (int b = 0; b < batches; ++b) {
    double total_us = 0;
    for (int c = 0; c < calls; ++c, ++n) {
      if (prepare) prepare(n);
      const auto t0 = std::chrono::steady_clock::now();
      call(n);
      total_us += std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
    }
    per_call.push_back(total_us / calls);
  }
  std::sort(per_call.begin(), per_call.end());
  return {per_call[per_call.size() / 2], per_call.front(), per_call.back()};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: tavori_bench_lists FOLDER [BATCHES CALLS]\n");
    return 2;
  }
  const std::string folder = argv[1];
  const int batches = argc == 4 ? std::max(1, std::atoi(argv[2])) : 5;
  const int calls = argc == 4 ? std::max(1, std::atoi(argv[3])) : 40;
  std::filesystem::create_directories(folder);

  tav::PosixFiles files;
  tav::IconvCodePage code_page;
  tav::ListFiles lists(files, code_page, folder);
  const std::string history = code_page.from_utf8(history_text(1000));
  const std::string local = code_page.from_utf8(local_text());
  const std::string history_path = lists.path_of(tav::kHistoryList);
  const std::string local_path = lists.path_of(tav::kLocalList);
  auto fresh_history = [&](int) { files.replace(history_path, history); };
  auto fresh_local = [&](int) { files.replace(local_path, local); };
  fresh_history(0);
  fresh_local(0);

  auto print = [](const char* name, const Figure& f) {
    std::printf("%s\t%.1f\t%.1f\t%.1f\n", name, f.median, f.min, f.max);
    std::fflush(stdout);
  };
  print("add", measure(batches, calls, fresh_history, [&](int n) {
          lists.add_history(5000 + n, "新片", "第1集", "qvod%3A//1%7CAB%7C新片.mp4%7C", 1, 0, 0);
        }));
  fresh_history(0);
  // Every call moves the list's last record to the top; after 101 calls the
  // list is as it began.
  print("move", measure(batches, calls, nullptr, [&](int n) {
          lists.add_history(1000 + kRecords - 1 - n % kRecords, "测试剧", "第2集",
                            "qvod%3A//1%7CAB%7C测试剧.mp4%7C", 1, 1, 0);
        }));
  print("delete", measure(batches, calls, fresh_history,
                          [&](int n) { lists.delete_list_line(tav::kHistoryList, 1 + n % kRecords); }));
  fresh_history(0);
  print("position", measure(batches, calls, nullptr,
                            [&](int n) { lists.set_history_position(1000 + n % kRecords, n); }));
  print("position-local", measure(batches, calls, nullptr, [&](int n) {
          const std::string path = "/home/user/视频/本机影片" + std::to_string(1 + n % kRecords) + ".mp4";
          lists.set_local_position(path, n);
        }));
  print("render", measure(batches, calls, nullptr,
                          [&](int) { lists.render_list_page(tav::kHistoryList); }));
  const std::string content = history_text(1000);
  print("page-text", measure(batches, calls, nullptr, [&](int) {
          const std::string page = tav::build_list_page(code_page, content, false);
          if (page.empty()) std::abort();
        }));
  return 0;
}
