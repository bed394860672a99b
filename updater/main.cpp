// update.exe: the updater of Tavori (an ELF program, named as the program
// expects it in its folder). tavori starts it without arguments when the
// user accepts a newer version, and ends itself.
//
//   update.exe [--server-base=URL] [--quiet] [--check-only]
//              [--timeout-ms=N] [--wait-ms=N] [--trial-ms=N] [--recover]
//
// --server-base: the content server (else the one tavori names in the
// environment as TAVORI_SERVER_BASE, else the one built in); passed on to
// the program it starts. --quiet: no windows, every message on stderr only
// (the tests); messages go to stderr in any case. --check-only: download,
// check and unpack the release, then stop. --recover: only put right an
// interrupted update of the folder, as tavori does at its start.
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "release/swap.h"
#include "updater.h"

namespace {

using tav::update::Outcome;
using tav::update::Result;
using tav::update::Updater;
using tav::update::UpdaterOptions;

const char* const kTitle = "Tavori 升级";

void say(const std::string& line) {
  std::fprintf(stderr, "update.exe: %s\n", line.c_str());
  std::fflush(stderr);
}

bool number_option(const std::string& a, const char* name, int& out) {
  const std::string prefix = std::string(name) + "=";
  if (a.rfind(prefix, 0) != 0) return false;
  out = std::atoi(a.c_str() + prefix.size());
  return true;
}

std::string megabytes(std::uint64_t bytes) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return buf;
}

// The program's dark look: the skin's near-black, light grey text, the
// blue of its highlights.
const char* const kStyle =
    "QWidget{background:#101012;color:#E8E8D8;font-size:13px;}"
    "QLabel#stage{font-size:15px;font-weight:bold;color:#F0F0E0;}"
    "QLabel#detail{color:#9C9C81;}"
    "QProgressBar{border:1px solid #4A4A44;background:#070707;height:18px;text-align:center;"
    "color:#E8E8D8;}"
    "QProgressBar::chunk{background:qlineargradient(x1:0,y1:0,x2:0,y2:1,stop:0 #4F8BE8,stop:1 #2F64BF);}"
    "QPushButton{color:#E8E8D8;background:#26262A;border:1px solid #4A4A44;padding:4px 18px;"
    "min-width:64px;}"
    "QPushButton:hover{background:#32323A;border-color:#80A8FF;}"
    "QPushButton:pressed{background:#26324A;}"
    "QPushButton:disabled{color:#555549;}"
    "QMessageBox{background:#101012;}";

class ProgressWindow final : public QWidget {
 public:
  explicit ProgressWindow(Updater& updater) : updater_(updater) {
    setWindowTitle(QString::fromUtf8(kTitle));
    // A dialog with a title and a close button only (closing cancels).
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(440, 170);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(22, 18, 22, 16);
    column->setSpacing(10);
    stage_ = new QLabel(QStringLiteral("正在检查更新…"), this);
    stage_->setObjectName(QStringLiteral("stage"));
    auto* note = new QLabel(QStringLiteral("下载并校验后将自动安装，完成后 Tavori 会重新启动。"), this);
    note->setObjectName(QStringLiteral("detail"));
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 0);
    bar_->setFormat(QStringLiteral("%p%"));
    detail_ = new QLabel(QStringLiteral(" "), this);
    detail_->setObjectName(QStringLiteral("detail"));
    cancel_ = new QPushButton(QStringLiteral("取消"), this);
    auto* row = new QHBoxLayout;
    row->addWidget(detail_, 1);
    row->addWidget(cancel_);
    column->addWidget(stage_);
    column->addWidget(note);
    column->addWidget(bar_);
    column->addLayout(row);
    connect(cancel_, &QPushButton::clicked, this, [this] { cancel(); });
  }
  void set_stage(const QString& text) { stage_->setText(text); }
  void set_bytes(std::uint64_t done, std::uint64_t total) {
    if (total == 0) return;
    bar_->setRange(0, 1000);
    bar_->setValue(static_cast<int>(done * 1000 / total));
    bar_->setFormat(QString::number(done * 100 / total) + QStringLiteral("%"));
    detail_->setText(QStringLiteral("已下载 ") + QString::fromStdString(megabytes(done)) + QStringLiteral(" / ") +
                     QString::fromStdString(megabytes(total)));
  }
  void set_cancellable(bool on) {
    cancel_->setEnabled(on);
    if (!on) {
      bar_->setRange(0, 0);
      detail_->setText(QStringLiteral("请勿关闭此窗口"));
    }
  }
  void allow_close() { closing_ = true; }

 protected:
  void closeEvent(QCloseEvent* e) override {
    if (closing_) return e->accept();
    e->ignore();
    if (cancel_->isEnabled()) cancel();
  }

 private:
  void cancel() {
    cancel_->setEnabled(false);
    stage_->setText(QStringLiteral("正在取消…"));
    updater_.cancel();
  }
  Updater& updater_;
  QLabel* stage_ = nullptr;
  QLabel* detail_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QPushButton* cancel_ = nullptr;
  bool closing_ = false;
};

int run_quiet(UpdaterOptions options) {
  std::uint64_t shown = ~0ull;
  tav::update::Progress progress;
  progress.stage = [](const std::string& s) { say(s); };
  progress.bytes = [&shown](std::uint64_t done, std::uint64_t total) {
    const std::uint64_t tenth = total ? done * 10 / total : 0;
    if (tenth != shown) {
      shown = tenth;
      say("已下载 " + megabytes(done) + " / " + megabytes(total));
    }
  };
  Updater updater(std::move(options), progress);
  const Result r = updater.run();
  say(r.message);
  if (!r.detail.empty()) say("(" + r.detail + ")");
  return static_cast<int>(r.outcome);
}

int run_window(int argc, char** argv, UpdaterOptions options) {
  QApplication app(argc, argv);
  app.setApplicationName(QStringLiteral("Tavori"));
  app.setStyleSheet(QString::fromUtf8(kStyle));
  app.setWindowIcon(QIcon(QStringLiteral(":/tavori48.png")));
  ProgressWindow* window = nullptr;
  tav::update::Progress progress;
  auto post = [&window](std::function<void(ProgressWindow&)> f) {
    QMetaObject::invokeMethod(window, [f, &window] { f(*window); }, Qt::QueuedConnection);
  };
  progress.stage = [post](const std::string& s) {
    say(s);
    post([s](ProgressWindow& w) { w.set_stage(QString::fromStdString(s)); });
  };
  progress.bytes = [post](std::uint64_t done, std::uint64_t total) {
    post([done, total](ProgressWindow& w) { w.set_bytes(done, total); });
  };
  progress.cancellable = [post](bool on) { post([on](ProgressWindow& w) { w.set_cancellable(on); }); };
  const UpdaterOptions kept = options;
  Updater updater(std::move(options), progress);
  ProgressWindow w(updater);
  window = &w;
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    w.move(screen->availableGeometry().center() - w.rect().center());
  w.show();
  Result result;
  std::thread worker([&] {
    result = updater.run();
    // exit(), not quit(): quit() asks the windows to close, and the
    // progress window refuses while it works.
    QMetaObject::invokeMethod(&app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
  });
  app.exec();
  worker.join();
  say(result.message);
  if (!result.detail.empty()) say("(" + result.detail + ")");
  w.allow_close();
  w.hide();
  const QString text = QString::fromStdString(result.message);
  if (result.outcome == Outcome::updated) {
    // The new program is on the screen already.
  } else if (result.offer_old && result.outcome != Outcome::restored) {
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kTitle),
                    text + QStringLiteral("\n\n要重新启动 Tavori 吗？"));
    QPushButton* start = box.addButton(QStringLiteral("启动"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("关闭"), QMessageBox::RejectRole);
    box.exec();
    if (box.clickedButton() == start) Updater::start_program(kept);
  } else {
    QMessageBox box(result.outcome == Outcome::restored ? QMessageBox::Warning : QMessageBox::Information,
                    QString::fromUtf8(kTitle), text);
    box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box.exec();
    if (result.outcome == Outcome::restored) Updater::start_program(kept);
  }
  return static_cast<int>(result.outcome);
}

void set_server_base(UpdaterOptions& options, std::string base) {
  if (base.empty() || base.back() != '/') base += '/';
  options.server_base = std::move(base);
  options.server_base_given = true;
}

}  // namespace

int main(int argc, char** argv) {
  UpdaterOptions options;
  options.app_folder = tav::update::own_program_folder();
  options.server_base = TAVORI_SERVER_BASE;
  // tavori names the server it uses to the programs it starts.
  if (const char* inherited = std::getenv("TAVORI_SERVER_BASE"); inherited && *inherited)
    set_server_base(options, inherited);
  bool quiet = false, recover_only = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--server-base=", 0) == 0) {
      set_server_base(options, a.substr(14));
    } else if (a == "--quiet") {
      quiet = true;
    } else if (a == "--check-only") {
      options.check_only = true;
    } else if (a == "--recover") {
      recover_only = true;
    } else if (number_option(a, "--timeout-ms", options.timeout_ms) ||
               number_option(a, "--wait-ms", options.wait_ms) ||
               number_option(a, "--trial-ms", options.trial_ms) ||
               number_option(a, "--step-delay-ms", options.step_delay_ms)) {
    } else if (a.rfind("-", 0) == 0 && a.find('=') == std::string::npos && i > 0 && a.size() > 1 &&
               a[1] != '-') {
      // The toolkit's own options (-platform ...) are left to it.
    } else {
      say("unknown option " + a);
      return 2;
    }
  }
  if (options.app_folder.empty()) {
    say("cannot tell the program's folder");
    return 1;
  }
  if (recover_only) {
    std::string why;
    const tav::update::Recovery r = tav::update::recover(options.app_folder, &why);
    say(std::string("recovery: ") + tav::update::recovery_name(r) + (why.empty() ? "" : ": " + why));
    return r == tav::update::Recovery::failed ? 1 : 0;
  }
  if (quiet) return run_quiet(std::move(options));
  return run_window(argc, argv, std::move(options));
}
