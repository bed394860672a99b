#include "platform/qt/qt_browser.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTimer>
#include <QWebEngineHistory>
#include <QWebEngineScript>

#include "forms/browser.h"
#include "platform/qt/qt_skin.h"

namespace tav::qt {

namespace {

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

}  // namespace

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

namespace {

// A panel hidden by the program (a web film stopped or paused) holds the
// page's playing media, as a player's Stop would; shown again, it lets
// them play on. Run in the script's own world, which the page cannot see.
constexpr const char* kHoldMedia = R"(
  window.tavoriHeld = [];
  for (const m of document.querySelectorAll('video, audio'))
    if (!m.paused) { m.pause(); window.tavoriHeld.push(m); }
  window.tavoriHeld.length;
)";
constexpr const char* kReleaseMedia = R"(
  for (const m of window.tavoriHeld || []) m.play().catch(() => {});
  window.tavoriHeld = [];
)";

}  // namespace

bool QtBrowserPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_ && event->type() == QEvent::Show && !waiting_.empty()) start_waiting();
  // Only the panel's own hiding: a window hidden to the tray plays on. A
  // page is asked only when it may play something, or was held: a script
  // run on a panel that never loaded would bring its page up, and with it
  // the keyboard.
  if (watched != view_ || !view_) return QObject::eventFilter(watched, event);
  if (event->type() == QEvent::Show && media_held_ && !view_->isHidden()) {
    media_held_ = false;
    page_->runJavaScript(QString::fromUtf8(kReleaseMedia), QWebEngineScript::ApplicationWorld);
  } else if (event->type() == QEvent::Hide && view_->isHidden() && page_->url().isValid() &&
             page_->url().scheme().startsWith(QStringLiteral("http"))) {
    page_->runJavaScript(QString::fromUtf8(kHoldMedia), QWebEngineScript::ApplicationWorld,
                         [this, view = QPointer<QWebEngineView>(view_)](const QVariant& held) {
                           if (!view || held.toInt() <= 0) return;
                           media_held_ = true;
                           if (on_trace)
                             on_trace("media " + model_.name() + " held " + held.toString().toStdString());
                         });
  }
  return QObject::eventFilter(watched, event);
}

QtBrowserPanel::QtBrowserPanel(Browser& model, QWidget* parent)
    : model_(model), view_(new PanelView(model, parent)), page_(new PanelPage(model, view_)) {
  view_->installEventFilter(this);
  view_->setPage(page_);
  view_->setContextMenuPolicy(Qt::DefaultContextMenu);
  view_->page()->setBackgroundColor(skin::color(skin::kWindow));
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
