#include "platform/qt/qt_browser.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QMenu>
#include <QWebEngineContextMenuRequest>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

#include "forms/browser.h"

namespace tav::qt {

const char* const kLinkSchemes[6] = {"eebovod", "eeqvod", "open", "delk", "jilux", "tvx"};

namespace {

// The marker that starts a console message carrying a link-protocol address.
const QString kReport = QStringLiteral("\x01tavori-navigate\x01");

// Runs in every frame, apart from the page's own scripts. Clicks on links
// report the link's text as the page wrote it; other navigations (script
// assignments to location) report the address the browser made of it.
const char* const kLinkScript = R"JS(
(function () {
  var pattern = /^\s*(eebovod|eeqvod|open|delk|jilux|tvx):/i;
  function report(address) { console.log('\u0001tavori-navigate\u0001' + address); }
  document.addEventListener('click', function (e) {
    var a = e.target && e.target.closest ? e.target.closest('a[href]') : null;
    if (!a) return;
    var raw = a.getAttribute('href') || '';
    if (!pattern.test(raw)) return;
    e.preventDefault();
    report(raw.trim());
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

}  // namespace

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
    auto* handler = new LinkSchemeHandler(p);
    for (const char* name : kLinkSchemes) p->installUrlSchemeHandler(name, handler);
    QWebEngineScript script;
    script.setName(QStringLiteral("tavori-links"));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setRunsOnSubFrames(true);
    script.setSourceCode(QString::fromUtf8(kLinkScript));
    p->scripts()->insert(script);
    return p;
  }();
  return profile;
}

// A page of one panel.
class PanelPage final : public QWebEnginePage {
 public:
  PanelPage(Browser& model, QObject* parent) : QWebEnginePage(panel_profile(), parent), model_(model) {
    connect(this, &QWebEnginePage::loadStarted, this, [this] { model_.download_begin(); });
    connect(this, &QWebEnginePage::loadFinished, this, [this](bool) { model_.download_complete(); });
    connect(this, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
      if (info.status() != QWebEngineLoadingInfo::LoadFailedStatus) return;
      const QString scheme = info.url().scheme();
      if (scheme != "http" && scheme != "https" && scheme != "file") return;
      model_.navigate_error(info.url().toString().toStdString(), info.errorCode());
    });
  }

  bool silent = false;

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool) override {
    // The program's own loads, reloads and history steps passed already.
    if (type == NavigationTypeTyped || type == NavigationTypeReload ||
        type == NavigationTypeBackForward)
      return true;
    // Link-protocol addresses never load; the frame script reports them.
    if (!url.isValid()) return false;
    for (const char* name : kLinkSchemes)
      if (url.scheme() == QLatin1String(name)) return false;
    return model_.page_navigation(url.toString().toStdString());
  }

  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int,
                                const QString&) override {
    if (message.startsWith(kReport)) model_.page_navigation(message.mid(kReport.size()).toStdString());
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
  Browser& model_;
};

// A page that a link opening a new window made: its first address goes
// through the opener's BeforeNavigate and then to the desktop's browser.
class PopupPage final : public QWebEnginePage {
 public:
  PopupPage(Browser& opener, QObject* parent) : QWebEnginePage(panel_profile(), parent), opener_(opener) {}

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
    if (url.isValid() && (url.scheme() == "http" || url.scheme() == "https") &&
        opener_.page_navigation(url.toString().toStdString())) {
      QDesktopServices::openUrl(url);
    }
    deleteLater();
    return false;
  }

 private:
  Browser& opener_;
};

QWebEnginePage* PanelPage::createWindow(WebWindowType) {
  if (!model_.new_window()) return nullptr;
  return new PopupPage(model_, this);
}

// The view: right clicks go to the hooked document's own menu.
class PanelView final : public QWebEngineView {
 public:
  PanelView(Browser& model, QWidget* parent) : QWebEngineView(parent), model_(model) {}

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override {
    QWebEngineContextMenuRequest* request = lastContextMenuRequest();
    const std::string href = request ? request->linkUrl().toString().toStdString() : std::string();
    if (!model_.context_menu(href)) return;  // the program showed its own menu
    QMenu* menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose, true);
    menu->popup(event->globalPos());
  }

 private:
  Browser& model_;
};

QtBrowserPanel::QtBrowserPanel(Browser& model, QWidget* parent)
    : model_(model), view_(new PanelView(model, parent)), page_(new PanelPage(model, view_)) {
  view_->setPage(page_);
  view_->setContextMenuPolicy(Qt::DefaultContextMenu);
  view_->page()->setBackgroundColor(QColor(0x07, 0x07, 0x07));
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
  if (view_) view_->load(to_qurl(url));
}

void QtBrowserPanel::write_document(std::string_view html) {
  if (view_)
    view_->setHtml(QString::fromUtf8(html.data(), static_cast<int>(html.size())),
                   QUrl(QStringLiteral("about:blank")));
}

void QtBrowserPanel::reload() {
  if (view_) view_->reload();
}

void QtBrowserPanel::back() {
  if (view_ && view_->history()->canGoBack()) view_->back();
}

void QtBrowserPanel::forward() {
  if (view_ && view_->history()->canGoForward()) view_->forward();
}

void QtBrowserPanel::copy() {
  if (view_) view_->page()->triggerAction(QWebEnginePage::Copy);
}

void QtBrowserPanel::paste() {
  if (view_) view_->page()->triggerAction(QWebEnginePage::Paste);
}

void QtBrowserPanel::set_silent(bool silent) { page_->silent = silent; }

std::string QtBrowserPanel::location() const {
  return view_ ? view_->url().toString().toStdString() : std::string();
}

}  // namespace tav::qt
