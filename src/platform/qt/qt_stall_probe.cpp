#include "platform/qt/qt_stall_probe.h"

#include <QCoreApplication>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace tav::qt {

namespace {

constexpr int kTickMs = 5;
constexpr double kLoggedMs = 6.0;

long long epoch_us() {
  using namespace std::chrono;
  return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

class StallProbe final : public QObject {
 public:
  StallProbe(std::FILE* log, QObject* parent) : QObject(parent), log_(log) {
    std::fprintf(log_, "armed %lld\n", epoch_us());
    std::fflush(log_);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
    timer_.start(kTickMs);
  }
  ~StallProbe() override { std::fclose(log_); }

 private:
  void tick() {
    const auto now = std::chrono::steady_clock::now();
    const double gap_ms = std::chrono::duration<double, std::milli>(now - last_).count();
    last_ = now;
    if (gap_ms < kLoggedMs) return;
    std::fprintf(log_, "gap %lld %.1f\n", epoch_us(), gap_ms);
    std::fflush(log_);
  }

  std::FILE* log_;
  QTimer timer_;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

}  // namespace

void start_stall_probe() {
  const char* path = std::getenv("TAVORI_STALL_LOG");
  if (!path || !*path || !QCoreApplication::instance()) return;
  std::FILE* log = std::fopen(path, "a");
  if (!log) return;
  new StallProbe(log, QCoreApplication::instance());
}

}  // namespace tav::qt
