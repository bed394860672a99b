// tavori_bench_floor WIDTH HEIGHT URL
//
// The least a program on the same toolkit can do to show the library: one
// web view, a top-level window of the given size, loading URL with the
// engine set up as the program's panels are (its own off-the-record
// profile with a memory cache, GBK as the default text encoding, the same
// engine switches). Prints "shown T" on the window's first expose and
// "loaded T" when the page has loaded, T in microseconds since the epoch,
// and then stays until it is ended.
#include <QApplication>
#include <QColor>
#include <QEvent>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

long long epoch_us() {
  using namespace std::chrono;
  return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

void report(const char* what) {
  std::printf("%s %lld\n", what, epoch_us());
  std::fflush(stdout);
}

class FirstExpose final : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!seen_ && event->type() == QEvent::Expose && watched->isWindowType() &&
        static_cast<QWindow*>(watched)->isExposed()) {
      seen_ = true;
      report("shown");
    }
    return false;
  }

 private:
  bool seen_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: tavori_bench_floor WIDTH HEIGHT URL\n");
    return 2;
  }
  const int width = std::atoi(argv[1]), height = std::atoi(argv[2]);
  const QUrl url(QString::fromLocal8Bit(argv[3]));
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  std::vector<char*> qt_argv{argv[0]};
  static char engine_args[] = "--webEngineArgs";
  static char per_site[] = "--process-per-site";
  qt_argv.push_back(engine_args);
  qt_argv.push_back(per_site);
  int qt_argc = static_cast<int>(qt_argv.size());
  qt_argv.push_back(nullptr);
  QApplication app(qt_argc, qt_argv.data());

  auto* profile = new QWebEngineProfile(&app);
  profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
  profile->settings()->setDefaultTextEncoding(QStringLiteral("GBK"));
  profile->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
  profile->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);

  QWebEngineView view;
  auto* page = new QWebEnginePage(profile, &view);
  view.setPage(page);
  page->setBackgroundColor(QColor(0x07, 0x07, 0x07));
  bool loaded = false;
  QObject::connect(page, &QWebEnginePage::loadFinished, &view, [&loaded](bool) {
    if (loaded) return;
    loaded = true;
    report("loaded");
  });
  view.setWindowTitle(QStringLiteral("floor"));
  view.setGeometry(0, 0, width, height);
  FirstExpose first_expose;  // of any window: the view's is the only one
  app.installEventFilter(&first_expose);
  view.load(url);
  view.show();
  const int rc = app.exec();
  return rc;
}
