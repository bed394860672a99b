#include "platform/qt/qt_panel_page.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QWebEngineLoadingInfo>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <deque>

#include "forms/browser.h"
#include "platform/qt/qt_http.h"
#include "platform/qt/qt_skin.h"
#include "platform/qt/qt_web_profile.h"

namespace tav::qt {

namespace {

// What setContent can carry: the content travels percent-encoded in a data
// address, which Chromium cuts off at 2 MB.
constexpr qsizetype kMaxContentAddress = 2 * 1024 * 1024 - 1024;

// net::ERR_ABORTED: a load given up for another one or turned away.
constexpr int kLoadAborted = -3;

// Windows the pages opened lately: no more than a few a minute reach the
// desktop's browser, however often a page asks.
bool new_window_allowed() {
  constexpr int kMaxWindows = 3;
  constexpr qint64 kSpanMs = 60000;
  static std::deque<qint64> opened;
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  while (!opened.empty() && now - opened.front() > kSpanMs) opened.pop_front();
  if (static_cast<int>(opened.size()) >= kMaxWindows) return false;
  opened.push_back(now);
  return true;
}

// A JavaScript string literal of the text.
QString script_string(const QString& text) {
  QString out = QStringLiteral("\"");
  for (const QChar c : text) {
    if (c.unicode() < 0x20 || c == '"' || c == '\\' || c == '<' || c == '>' || c.unicode() > 0x7E)
      out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    else
      out += c;
  }
  return out + '"';
}

}  // namespace

QString failure_page(bool local_file) {
  const QString head =
      QStringLiteral("<html><head><meta charset=\"utf-8\"><title></title><style type=\"text/css\">") +
      skin::failure_page_style() +
      QStringLiteral("</style></head><body oncontextmenu=\"return false\" ondragstart=\"return false\">"
                     "<br><br>");
  const QString text = local_file
                           ? QStringLiteral("<p>页面无法打开</p><p class=\"why\">文件不存在或无法读取。</p>")
                           : QStringLiteral("<p>无法连接到服务器</p><p class=\"why\">请检查网络连接，稍后再试。</p>");
  return head + text + QStringLiteral("</body></html>");
}

PanelPage::PanelPage(Browser& model, QObject* parent)
    : QWebEnginePage(panel_profile(), parent), model_(model) {
  connect(this, &QWebEnginePage::loadStarted, this, [this] { later([this] { load_started(); }); });
  connect(this, &QWebEnginePage::loadFinished, this, [this] { later([this] { load_finished(); }); });
  connect(this, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
    later([this, info] { loading_changed(info); });
  });
}

void PanelPage::later(std::function<void()> call) {
  model_gate().deliver([alive = alive_, call = std::move(call)] {
    if (*alive) call();
  });
}

void PanelPage::load_started() {
  if (own_page_pending_) {  // the failure page: the control hears nothing of it
    own_page_pending_ = false;
    own_page_loading_ = true;
    return;
  }
  own_page_loading_ = false;
  failed_url_.clear();
  model_.download_begin();
}

void PanelPage::load_finished() {
  if (own_page_loading_) {
    own_page_loading_ = false;
    shown();
    return;
  }
  model_.download_complete();
  if (keep_scroll_) {
    const QPointF at = *keep_scroll_;
    keep_scroll_.reset();
    runJavaScript(QStringLiteral("window.scrollTo(%1,%2)").arg(at.x()).arg(at.y()),
                  QWebEngineScript::ApplicationWorld);
  }
  shown();
}

void PanelPage::loading_changed(const QWebEngineLoadingInfo& info) {
  if (info.status() != QWebEngineLoadingInfo::LoadFailedStatus) return;
  const QString scheme = info.url().scheme();
  if (scheme != "http" && scheme != "https" && scheme != "file") return;
  model_.navigate_error(info.url().toString().toStdString(), info.errorCode());
  // Where the engine would show its error page: the server answered
  // with a page of its own for HTTP errors, and a load given up for
  // another one is no failure.
  if (info.errorDomain() == QWebEngineLoadingInfo::HttpErrorDomain) return;
  if (info.errorCode() == kLoadAborted) return;
  if (model_.on_navigate_error) return;  // the control has a failure page of its own
  failed_url_ = info.url();
  const QUrl failed = failed_url_;
  QTimer::singleShot(0, this, [this, failed] {
    if (failed_url_ != failed) return;  // another load started meanwhile
    own_page_pending_ = true;
    setHtml(failure_page(failed.isLocalFile()), failed);
  });
}

void PanelPage::prepare_load() {
  settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, bool(model_.on_navigate_error));
  failed_url_.clear();
  keep_scroll_.reset();
  ++loads_;
  own_page_pending_ = false;
  verbatim_.clear();
}

void PanelPage::open(const QUrl& url) {
  own_document_ = false;
  if (is_code_page_page(url)) {
    QFile file(url.toLocalFile());
    if (file.open(QIODevice::ReadOnly)) {
      const QByteArray bytes = file.readAll();
      if (bytes.toPercentEncoding().size() < kMaxContentAddress) {
        setContent(bytes, QStringLiteral("text/html;charset=") + QLatin1String(kPageCharset), url);
        return;
      }
    }
    // Unreadable: the engine reports the failure; too large for
    // setContent: the engine reads it and guesses the charset.
  }
  load(url);
}

void PanelPage::open_verbatim(const QString& address) {
  own_document_ = false;
  verbatim_ = QUrl(address);
  own_page_pending_ = true;
  setHtml(QStringLiteral("<script>location.replace(") + script_string(address) +
              QStringLiteral(")</script>"),
          QUrl(QStringLiteral("about:blank")));
}

void PanelPage::reread(const QUrl& url) {
  const unsigned load = ++loads_;
  // A page that goes away calls its pending callbacks with nothing.
  runJavaScript(QStringLiteral("[window.scrollX, window.scrollY]"), QWebEngineScript::ApplicationWorld,
                [this, alive = alive_, load, url](const QVariant& result) {
                  if (!*alive || load != loads_) return;
                  const QVariantList at = result.toList();
                  if (at.size() == 2) keep_scroll_ = QPointF(at[0].toDouble(), at[1].toDouble());
                  open(url);
                });
}

void PanelPage::write(const QString& html) {
  own_document_ = true;
  setHtml(html, QUrl(QStringLiteral("about:blank")));
}

bool PanelPage::trusted() const {
  const QUrl shown = url();
  if (shown.scheme() == QLatin1String("about") || shown.scheme() == QLatin1String("data"))
    return own_document_;
  return may_command(shown);
}

bool PanelPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool main_frame) {
  // The program's own loads, reloads and history steps passed already.
  if (type == NavigationTypeTyped || type == NavigationTypeReload ||
      type == NavigationTypeBackForward)
    return true;
  // The program's own address on its way (open_verbatim).
  if (main_frame && !verbatim_.isEmpty() && url == verbatim_) {
    verbatim_.clear();
    return true;
  }
  // Link-protocol addresses never load; the frame script reports them.
  if (!url.isValid()) return false;
  for (const char* name : kLinkSchemes)
    if (url.scheme() == QLatin1String(name)) return false;
  // A frame's navigations, and those of a page that may not command the
  // program, load without the program hearing of them: an address such
  // as "http://elsewhere/?eeqvod://…" commands nothing.
  if (!main_frame) return true;
  if (!trusted()) return true;
  own_document_ = false;
  if (model_gate().busy()) {
    // A handler waits for a blocking request: the program hears of the
    // navigation once it may. The page's own is loaded then if the
    // program lets it; a frame's goes on and is told afterwards.
    later([this, url, main_frame] {
      if (!model_.page_navigation(url.toString().toStdString()) || !main_frame) return;
      open(url);
    });
    return !main_frame;
  }
  if (!model_.page_navigation(url.toString().toStdString())) return false;
  if (main_frame && is_code_page_page(url)) {
    QTimer::singleShot(0, this, [this, url] { open(url); });
    return false;
  }
  return true;
}

void PanelPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message,
                                         int, const QString&) {
  if (!trusted()) return;
  if (message.startsWith(report_marker())) {
    later([this, address = message.mid(report_marker().size()).toStdString()] {
      model_.page_navigation(address);
    });
  } else if (message.startsWith(context_marker()) && model_.hooked()) {
    // The program's menu runs its own event loop: not inside the engine's
    // call.
    const std::string href = message.mid(context_marker().size()).toStdString();
    QTimer::singleShot(0, this, [this, href] { later([this, href] { model_.context_menu(href); }); });
  }
}

// Windows pages asked for whose address has not come yet.
static int pending_popups = 0;

// A page that a link opening a new window made: its first address goes
// through the opener's BeforeNavigate and then to the desktop's browser.
// It belongs to no panel: the opener may be gone by the time the address
// comes (an advertisement window closes itself when it asks for a window).
class PopupPage final : public QWebEnginePage {
 public:
  PopupPage(Browser& opener, std::function<void(const std::string&)> open_elsewhere)
      : QWebEnginePage(panel_profile(), nullptr), opener_(opener),
        open_elsewhere_(std::move(open_elsewhere)) {
    ++pending_popups;
    // A window that never gets an address (a script's window.open()) goes
    // too.
    QTimer::singleShot(30000, this, [this] {
      settle();
      deleteLater();
    });
  }
  ~PopupPage() override { settle(); }

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
    if (!done_ && url.isValid() && (url.scheme() == "http" || url.scheme() == "https")) {
      model_gate().deliver([opener = &opener_, open = open_elsewhere_, url] {
        if (!opener->page_navigation(url.toString().toStdString())) return;
        if (open) open(url.toString(QUrl::FullyEncoded).toStdString());
        else QDesktopServices::openUrl(url);
      });
    }
    settle();
    deleteLater();
    return false;
  }

 private:
  void settle() {
    if (done_) return;
    done_ = true;
    --pending_popups;
  }

  Browser& opener_;
  std::function<void(const std::string&)> open_elsewhere_;
  bool done_ = false;
};

void finish_popups(int max_ms) {
  if (pending_popups <= 0) return;
  const QDeadlineTimer deadline(max_ms);
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (pending_popups <= 0 || deadline.hasExpired()) loop.quit();
  });
  poll.start(20);
  loop.exec();
}

QWebEnginePage* PanelPage::createWindow(WebWindowType) {
  // The page's own window: the control may close itself meanwhile, and
  // this page with it, once the engine's call has returned. No new window
  // while a handler waits for a blocking request: the control could not be
  // asked.
  const std::function<void(const std::string&)> open = open_elsewhere;
  Browser& model = model_;
  if (model_gate().busy() || !trusted() || !new_window_allowed() || !model.new_window()) return nullptr;
  return new PopupPage(model, open);
}

}  // namespace tav::qt
