#include "platform/qt/qt_browser.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QRandomGenerator>
#include <QTimer>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <deque>
#include <memory>
#include <optional>

#include "forms/browser.h"
#include "platform/qt/qt_http.h"

namespace tav::qt {

const char* const kLinkSchemes[6] = {"eebovod", "eeqvod", "open", "delk", "jilux", "tvx"};

namespace {

// A secret of this run of the program. It is part of the script's console
// markers and exists only in the script's own world, which the page's
// scripts cannot see: a page cannot forge a report.
const QString& run_secret() {
  static const QString secret = [] {
    QString hex;
    for (int i = 0; i < 4; ++i)
      hex += QString::number(QRandomGenerator::system()->generate(), 16).rightJustified(8, '0');
    return hex;
  }();
  return secret;
}

// The markers that start a console message carrying a link-protocol
// address, and the link under the pointer at a right click.
const QString& report_marker() {
  static const QString marker = QStringLiteral("\x01tavori-navigate-") + run_secret() + '\x01';
  return marker;
}
const QString& context_marker() {
  static const QString marker = QStringLiteral("\x01tavori-contextmenu-") + run_secret() + '\x01';
  return marker;
}

// What setContent can carry: the content travels percent-encoded in a data
// address, which Chromium cuts off at 2 MB.
constexpr qsizetype kMaxContentAddress = 2 * 1024 * 1024 - 1024;

// net::ERR_ABORTED: a load given up for another one or turned away.
constexpr int kLoadAborted = -3;

// Runs in every frame, apart from the page's own scripts. Clicks on links
// report the link's text as the page wrote it; other navigations (script
// assignments to location) report the address the browser made of it. Only
// the top frame reports: a frame (an advertisement of another host, say)
// has no say. "@SECRET@" becomes the run's secret.
const char* const kLinkScript = R"JS(
(function () {
  if (window !== window.top) return;
  var pattern = /^\s*(eebovod|eeqvod|open|delk|jilux|tvx):/i;
  function report(address) { console.log('\u0001tavori-navigate-@SECRET@\u0001' + address); }
  document.addEventListener('click', function (e) {
    var a = e.target && e.target.closest ? e.target.closest('a[href]') : null;
    if (!a) return;
    var raw = a.getAttribute('href') || '';
    if (!pattern.test(raw)) return;
    e.preventDefault();
    report(raw.trim());
  }, true);
  // The link under the pointer, also over the text or a picture inside it.
  window.addEventListener('contextmenu', function (e) {
    var t = e.target;
    if (t && t.nodeType !== 1) t = t.parentElement;
    var a = t && t.closest ? t.closest('a[href]') : null;
    var href = '';
    if (a) href = typeof a.href === 'string' ? a.href : (a.getAttribute('href') || '');
    console.log('\u0001tavori-contextmenu-@SECRET@\u0001' + href);
  }, true);
  if (window.navigation) {
    navigation.addEventListener('navigate', function (e) {
      var address = e.destination.url;
      if (!pattern.test(address) || !e.cancelable) return;
      e.preventDefault();
      report(address);
    });
  }
})();
)JS";

// What the trace hears of a shown page: how far it is scrolled, the
// charset, the text and the visible links with their boxes in the panel.
const char* const kPageSummary = R"JS(
(function () {
  var out = 'scrolled ' + Math.round(window.scrollX) + ',' + Math.round(window.scrollY) + ' ' +
            document.characterSet + ' | ' + (document.body ? document.body.innerText : '') + ' |';
  var links = document.querySelectorAll('a[href]');
  for (var i = 0; i < links.length; ++i) {
    var r = links[i].getBoundingClientRect();
    if (r.width <= 0 || r.height <= 0) continue;
    out += ' ' + links[i].getAttribute('href') + ' ' + Math.round(r.left) + ',' + Math.round(r.top) +
           ',' + Math.round(r.width) + ',' + Math.round(r.height) + ';';
  }
  return out;
})()
)JS";

QString canonical_folder(const QString& dir) {
  const QString canonical = QFileInfo(dir).canonicalFilePath();
  return canonical.isEmpty() ? QDir::cleanPath(dir) : canonical;
}

// Where commands may come from (set_command_sources).
struct CommandSources {
  QString app_folder;
  QUrl server;  // empty: no server page commands
};
CommandSources& command_sources() {
  static CommandSources sources{canonical_folder(QCoreApplication::applicationDirPath()), {}};
  return sources;
}

QString application_folder() { return command_sources().app_folder; }

bool same_origin(const QUrl& a, const QUrl& b) {
  if (!a.isValid() || !b.isValid() || a.host().isEmpty()) return false;
  const int default_port = a.scheme() == QLatin1String("https") ? 443 : 80;
  return a.scheme() == b.scheme() && a.host() == b.host() &&
         a.port(default_port) == b.port(default_port);
}

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

// Whether an http(s) address holds a "%" that is no escape (the "%uXXXX"
// of the pages' escape()): QUrl would write it as "%25", and the server
// would see the address escaped twice.
bool has_bare_percent(const QString& address) {
  if (!address.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) &&
      !address.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
    return false;
  const auto hex = [](QChar c) { return c.isDigit() || (c.toLower() >= 'a' && c.toLower() <= 'f'); };
  for (qsizetype i = address.indexOf('%'); i >= 0; i = address.indexOf('%', i + 1))
    if (i + 2 >= address.size() || !hex(address[i + 1]) || !hex(address[i + 2])) return true;
  return false;
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

void set_command_sources(const QUrl& server_base, const QString& app_folder) {
  command_sources() = {canonical_folder(app_folder), server_base};
}

bool may_command(const QUrl& page) {
  if (page.isEmpty()) return true;  // nothing has loaded yet
  if (is_code_page_page(page)) return true;
  const QUrl& server = command_sources().server;
  return !server.isEmpty() && same_origin(page, server);
}

bool is_code_page_page(const QUrl& url) {
  if (!url.isLocalFile()) return false;
  const QFileInfo file(url.toLocalFile());
  const QString suffix = file.suffix().toLower();
  if (suffix != QLatin1String("htm") && suffix != QLatin1String("html")) return false;
  const QString folder = QFileInfo(file.absolutePath()).canonicalFilePath();
  return !folder.isEmpty() && folder == application_folder();
}

QString failure_page(bool local_file) {
  const QString head = QStringLiteral(
      "<html><head><meta charset=\"utf-8\"><title></title><style type=\"text/css\">"
      "*{margin:0;padding:0;}body{overflow:auto;background:#070707;color:#FFFFFF;"
      "text-align:center;font-size:12px}p{line-height:22px}.why{color:#9C9C81}</style></head>"
      "<body oncontextmenu=\"return false\" ondragstart=\"return false\"><br><br>");
  const QString text = local_file
                           ? QStringLiteral("<p>页面无法打开</p><p class=\"why\">文件不存在或无法读取。</p>")
                           : QStringLiteral("<p>无法连接到服务器</p><p class=\"why\">请检查网络连接，稍后再试。</p>");
  return head + text + QStringLiteral("</body></html>");
}

void register_link_schemes() {
  for (const char* name : kLinkSchemes) {
    QWebEngineUrlScheme scheme(name);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    scheme.setFlags(QWebEngineUrlScheme::Flags());  // any page may link to it
    QWebEngineUrlScheme::registerScheme(scheme);
  }
}

void LinkSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
  job->fail(QWebEngineUrlRequestJob::RequestAborted);
}

QWebEngineProfile* panel_profile() {
  static QWebEngineProfile* profile = [] {
    auto* p = new QWebEngineProfile();  // off the record: nothing written to disk
    p->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    p->settings()->setDefaultTextEncoding(QStringLiteral("GBK"));
    p->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    p->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    p->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, true);
    // Windows only at the user's gesture (a click on a link), never from a
    // script on its own.
    p->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    auto* handler = new LinkSchemeHandler(p);
    for (const char* name : kLinkSchemes) p->installUrlSchemeHandler(name, handler);
    QWebEngineScript script;
    script.setName(QStringLiteral("tavori-links"));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setRunsOnSubFrames(true);
    script.setSourceCode(QString::fromUtf8(kLinkScript).replace(QStringLiteral("@SECRET@"), run_secret()));
    p->scripts()->insert(script);
    return p;
  }();
  return profile;
}

// A page of one panel.
class PanelPage final : public QWebEnginePage {
 public:
  ~PanelPage() override { *alive_ = false; }
  PanelPage(Browser& model, QObject* parent) : QWebEnginePage(panel_profile(), parent), model_(model) {
    connect(this, &QWebEnginePage::loadStarted, this, [this] { later([this] { load_started(); }); });
    connect(this, &QWebEnginePage::loadFinished, this, [this] { later([this] { load_finished(); }); });
    connect(this, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
      later([this, info] { loading_changed(info); });
    });
  }

  // The page's events reach the control through the backend's gate: after
  // the handler that waits for a blocking request, when one does.
  void later(std::function<void()> call) {
    model_gate().deliver([alive = alive_, call = std::move(call)] {
      if (*alive) call();
    });
  }

  void load_started() {
    if (own_page_pending_) {  // the failure page: the control hears nothing of it
      own_page_pending_ = false;
      own_page_loading_ = true;
      return;
    }
    own_page_loading_ = false;
    failed_url_.clear();
    model_.download_begin();
  }

  void load_finished() {
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

  void loading_changed(const QWebEngineLoadingInfo& info) {
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

  // Before the program's own load or document: the engine's error page
  // only where the control has a failure page of its own; nothing pending
  // of an earlier failure.
  void prepare_load() {
    settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, bool(model_.on_navigate_error));
    failed_url_.clear();
    keep_scroll_.reset();
    ++loads_;
    own_page_pending_ = false;
    verbatim_.clear();
  }

  // Loads an address; a page the program writes in the code page is read
  // here and given to the engine with its charset, under its own address.
  void open(const QUrl& url) {
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

  // Loads an address whose bytes QUrl cannot carry as they are: the engine
  // reads it from a script of a page of the program's own, which the
  // control hears nothing of, byte for byte.
  void open_verbatim(const QString& address) {
    own_document_ = false;
    verbatim_ = QUrl(address);
    own_page_pending_ = true;
    setHtml(QStringLiteral("<script>location.replace(") + script_string(address) +
                QStringLiteral(")</script>"),
            QUrl(QStringLiteral("about:blank")));
  }

  // Shows a code-page page anew from its file, where it was scrolled to.
  // The page itself says how far it is scrolled: the view's own figure
  // follows the compositor and may still be 0 just after a scroll. A load
  // of the program's own in the meantime wins.
  void reread(const QUrl& url) {
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

  // The address the failure page stands for, while it is shown.
  QUrl failed_url() const { return failed_url_; }

  // A document the program writes itself.
  void write(const QString& html) {
    own_document_ = true;
    setHtml(html, QUrl(QStringLiteral("about:blank")));
  }

  // Whether the page shown may command the program: a page of the content
  // server or of the program's own, never one that the page's own links
  // led elsewhere to.
  bool trusted() const {
    const QUrl shown = url();
    if (shown.scheme() == QLatin1String("about") || shown.scheme() == QLatin1String("data"))
      return own_document_;
    return may_command(shown);
  }

  bool silent = false;
  std::function<void()> on_shown;
  std::function<void(const std::string&)> open_elsewhere;

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool main_frame) override {
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

  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int,
                                const QString&) override {
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

  void javaScriptAlert(const QUrl& origin, const QString& msg) override {
    if (!silent) QWebEnginePage::javaScriptAlert(origin, msg);
  }
  bool javaScriptConfirm(const QUrl& origin, const QString& msg) override {
    return silent ? false : QWebEnginePage::javaScriptConfirm(origin, msg);
  }
  bool javaScriptPrompt(const QUrl& origin, const QString& msg, const QString& def,
                        QString* result) override {
    return silent ? false : QWebEnginePage::javaScriptPrompt(origin, msg, def, result);
  }

  QWebEnginePage* createWindow(WebWindowType) override;

 private:
  void shown() {
    if (on_shown) on_shown();
  }

  Browser& model_;
  QUrl failed_url_;
  std::optional<QPointF> keep_scroll_;
  unsigned loads_ = 0;  // the program's loads, counted
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  bool own_page_pending_ = false;
  bool own_page_loading_ = false;
  bool own_document_ = false;  // the document shown is one the program wrote
  QUrl verbatim_;              // an address open_verbatim is loading
};

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

// The view: a hooked document's right clicks reach its control through the
// frame script (PanelPage); the others get the engine's own menu.
class PanelView final : public QWebEngineView {
 public:
  PanelView(Browser& model, QWidget* parent) : QWebEngineView(parent), model_(model) {}

  std::function<void(const std::string&)>* trace = nullptr;

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override {
    if (model_.hooked()) return;
    QMenu* menu = createStandardContextMenu();
    if (trace && *trace) {
      std::string line = "menu " + model_.name() + " engine";
      for (QAction* a : menu->actions())
        if (!a->isSeparator()) line += " | " + a->text().toStdString();
      (*trace)(line);
    }
    menu->setAttribute(Qt::WA_DeleteOnClose, true);
    menu->popup(event->globalPos());
  }

 private:
  Browser& model_;
};

namespace {

// The first load of the program and the panels that wait for it.
struct FirstLoad {
  bool started = false;
  bool done = false;
  std::vector<QPointer<QtBrowserPanel>> waiting;
};
FirstLoad& first_load() {
  static FirstLoad state;
  return state;
}
// How long the other panels wait for the first one at most (a slow server).
constexpr int kFirstLoadPatienceMs = 1500;

}  // namespace

void QtBrowserPanel::first_load_done() {
  FirstLoad& state = first_load();
  if (state.done) return;
  state.done = true;
  const std::vector<QPointer<QtBrowserPanel>> waiting = std::move(state.waiting);
  state.waiting.clear();
  for (const QPointer<QtBrowserPanel>& panel : waiting)
    if (panel) panel->start_waiting();
}

void QtBrowserPanel::start_or_wait(std::function<void()> step) {
  FirstLoad& state = first_load();
  if (!state.started) {
    state.started = true;
    connect(page_, &QWebEnginePage::loadFinished, this, [] { first_load_done(); });
    QTimer::singleShot(kFirstLoadPatienceMs, [] { first_load_done(); });
  } else if (!state.done && (!waiting_.empty() || !view_->isVisible())) {
    if (waiting_.empty()) state.waiting.emplace_back(this);
    waiting_.push_back(std::move(step));
    return;
  }
  step();
}

void QtBrowserPanel::start_waiting() {
  std::vector<std::function<void()>> steps = std::move(waiting_);
  waiting_.clear();
  waiting_location_.clear();
  for (auto& step : steps) step();
}

bool QtBrowserPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_ && event->type() == QEvent::Show && !waiting_.empty()) start_waiting();
  return QObject::eventFilter(watched, event);
}

QtBrowserPanel::QtBrowserPanel(Browser& model, QWidget* parent)
    : model_(model), view_(new PanelView(model, parent)), page_(new PanelPage(model, view_)) {
  view_->installEventFilter(this);
  view_->setPage(page_);
  view_->setContextMenuPolicy(Qt::DefaultContextMenu);
  view_->page()->setBackgroundColor(QColor(0x07, 0x07, 0x07));
  static_cast<PanelView*>(view_.data())->trace = &on_trace;
  page_->on_shown = [this] {
    if (!on_trace || !view_) return;
    const QPoint at = view_->mapToGlobal(QPoint(0, 0));
    const QString where = QStringLiteral("at %1,%2 %3x%4 ")
                              .arg(at.x()).arg(at.y()).arg(view_->width()).arg(view_->height());
    QPointer<QWebEngineView> view = view_;
    page_->runJavaScript(QString::fromUtf8(kPageSummary), QWebEngineScript::ApplicationWorld,
                         [this, view, where](const QVariant& summary) {
                           if (view && on_trace)
                             on_trace("page " + model_.name() + " " +
                                      (where + summary.toString()).toStdString());
                         });
  };
}

QtBrowserPanel::~QtBrowserPanel() {
  if (!view_) return;
  page_->disconnect();
  delete view_;  // and its page, before the model it reports to is gone
}

QUrl QtBrowserPanel::to_qurl(std::string_view url) {
  const QString text = QString::fromUtf8(url.data(), static_cast<int>(url.size()));
  if (text.startsWith('/')) return QUrl::fromLocalFile(text);
  return QUrl(text);
}

void QtBrowserPanel::load(std::string_view url) {
  if (on_load) on_load(std::string(url));
  if (!view_) return;
  const QUrl address = to_qurl(url);
  waiting_location_ = address.toString();
  const QString text = QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size()));
  start_or_wait([this, address, text] {
    if (!view_) return;
    page_->prepare_load();
    if (has_bare_percent(text)) page_->open_verbatim(text);
    else page_->open(address);
  });
}

void QtBrowserPanel::write_document(std::string_view html) {
  if (!view_) return;
  waiting_location_ = QStringLiteral("about:blank");
  // Text in UTF-8 with its charset: no guess either.
  start_or_wait([this, text = QString::fromUtf8(html.data(), static_cast<int>(html.size()))] {
    if (!view_) return;
    page_->prepare_load();  // a failure page still to come would cover it
    page_->write(text);
  });
}

void QtBrowserPanel::reload() {
  if (!view_) return;
  if (!waiting_.empty()) {  // not loaded yet: loading it is the reload
    start_waiting();
    return;
  }
  // The failure page: try its address again.
  if (const QUrl failed = page_->failed_url(); !failed.isEmpty()) {
    page_->prepare_load();
    page_->open(failed);
    return;
  }
  // A code-page page is shown from its bytes: read them anew.
  if (const QUrl url = view_->url(); is_code_page_page(url)) {
    page_->reread(url);
    return;
  }
  view_->reload();
}

void QtBrowserPanel::back() {
  start_waiting();
  if (view_ && view_->history()->canGoBack()) view_->back();
}

void QtBrowserPanel::forward() {
  start_waiting();
  if (view_ && view_->history()->canGoForward()) view_->forward();
}

void QtBrowserPanel::copy() {
  start_waiting();
  if (view_) view_->page()->triggerAction(QWebEnginePage::Copy);
}

void QtBrowserPanel::paste() {
  start_waiting();
  if (view_) view_->page()->triggerAction(QWebEnginePage::Paste);
}

void QtBrowserPanel::set_silent(bool silent) { page_->silent = silent; }

void QtBrowserPanel::set_open_elsewhere(std::function<void(const std::string&)> open) {
  page_->open_elsewhere = std::move(open);
}

std::string QtBrowserPanel::location() const {
  if (!waiting_.empty()) return waiting_location_.toStdString();
  return view_ ? view_->url().toString().toStdString() : std::string();
}

}  // namespace tav::qt
