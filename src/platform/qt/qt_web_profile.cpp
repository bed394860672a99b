#include "platform/qt/qt_web_profile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

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

}  // namespace

const QString& report_marker() {
  static const QString marker = QStringLiteral("\x01tavori-navigate-") + run_secret() + '\x01';
  return marker;
}
const QString& context_marker() {
  static const QString marker = QStringLiteral("\x01tavori-contextmenu-") + run_secret() + '\x01';
  return marker;
}

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

}  // namespace tav::qt
