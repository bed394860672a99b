// The page of one browser panel: the program's own loads (the code-page
// pages from their bytes, addresses QUrl cannot carry through a script),
// the page's own navigations and link-protocol reports on their way to the
// control, the failure page, and the windows a page opens.
#pragma once

#include <QPointF>
#include <QUrl>
#include <QWebEnginePage>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QWebEngineLoadingInfo;

namespace tav {
class Browser;
}

namespace tav::qt {

// The page shown where a load failed (file: a local file could not be
// read; otherwise the server could not be reached).
QString failure_page(bool local_file);
// Lets the windows that pages asked for just before the program ended
// (the notice window's advertisement) reach the desktop's browser: runs
// the events until their addresses came, at most max_ms.
void finish_popups(int max_ms);

class PanelPage final : public QWebEnginePage {
 public:
  PanelPage(Browser& model, QObject* parent);
  ~PanelPage() override { *alive_ = false; }

  // Before the program's own load or document: the engine's error page
  // only where the control has a failure page of its own; nothing pending
  // of an earlier failure.
  void prepare_load();
  // Loads an address; a page the program writes in the code page is read
  // here and given to the engine with its charset, under its own address.
  void open(const QUrl& url);
  // Loads an address whose bytes QUrl cannot carry as they are: the engine
  // reads it from a script of a page of the program's own, which the
  // control hears nothing of, byte for byte.
  void open_verbatim(const QString& address);
  // Shows a code-page page anew from its file, where it was scrolled to.
  // The page itself says how far it is scrolled: the view's own figure
  // follows the compositor and may still be 0 just after a scroll. A load
  // of the program's own in the meantime wins.
  void reread(const QUrl& url);
  // The address the failure page stands for, while it is shown.
  QUrl failed_url() const { return failed_url_; }
  // A document the program writes itself.
  void write(const QString& html);

  bool silent = false;
  std::function<void()> on_shown;
  std::function<void(const std::string&)> open_elsewhere;

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool main_frame) override;
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int,
                                const QString&) override;
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
  // The page's events reach the control through the backend's gate: after
  // the handler that waits for a blocking request, when one does.
  void later(std::function<void()> call);
  void load_started();
  void load_finished();
  void loading_changed(const QWebEngineLoadingInfo& info);
  // Whether the page shown may command the program: a page of the content
  // server or of the program's own, never one that the page's own links
  // led elsewhere to.
  bool trusted() const;
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

}  // namespace tav::qt
