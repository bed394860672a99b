// Browser panels on Qt WebEngine.
//
// Navigations the program starts have passed BeforeNavigate in the form
// model already and load directly. Navigations a page starts reach the
// model's BeforeNavigate: ordinary addresses through
// acceptNavigationRequest, link-protocol addresses through a script in
// every frame that reports them (with their text exactly as the page wrote
// it) and stops them, since they never load.
//
// The list pages the program writes into the application folder are in
// the code page and declare no charset. Loaded as files, Chromium's charset
// detector decides how to read them, whatever the default text encoding
// says, and short pages of Chinese names come out as Latin-1. They are
// loaded with their bytes and an explicit charset instead, their file
// address kept as the document's address.
//
// A panel whose control has no NavigateError handler of its own shows a page
// of the program's own where the engine would show its error page; its
// DownloadBegin and DownloadComplete are not raised for that page.
//
// Right clicks: the same frame script reports the link under the pointer on
// every right click, also where the page stops the engine's menu; a hooked
// document's control gets it, and the engine's menu stays closed.
#pragma once

#include <QPointer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <functional>
#include <vector>

#include "platform/browser_panel.h"
#include "platform/qt/qt_panel_page.h"
#include "platform/qt/qt_web_profile.h"

namespace tav {
class Browser;
}

namespace tav::qt {

class QtBrowserPanel final : public QObject, public BrowserPanel {
 public:
  QtBrowserPanel(Browser& model, QWidget* parent);
  ~QtBrowserPanel() override;

  void load(std::string_view url) override;
  void write_document(std::string_view html) override;
  void reload() override;
  void back() override;
  void forward() override;
  void copy() override;
  void paste() override;
  void set_silent(bool silent) override;
  std::string location() const override;

  QWebEngineView* view() const { return view_; }
  // Told of every address the panel loads.
  std::function<void(const std::string&)> on_load;
  // When set, told (for the trace) after every finished load what the page
  // shows: where the panel stands on the screen, the document's charset,
  // its text and its visible links with their boxes; and of the engine's
  // own menu when it opens.
  std::function<void(const std::string&)> on_trace;
  Browser& model() const { return model_; }
  // Where the addresses of windows the page opens go (the desktop's
  // browser); the toolkit's desktop services when unset.
  void set_open_elsewhere(std::function<void(const std::string&)> open);

  // An address as the program gives it: a local path becomes a file URL.
  static QUrl to_qurl(std::string_view url);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The pages load one panel first: the first panel the program navigates
  // loads alone (while it is the one the user waits for), and the loads
  // and documents of the other panels wait until it has loaded or a moment
  // has passed; a panel that is shown or used meanwhile starts at once.
  void start_or_wait(std::function<void()> step);
  void start_waiting();
  static void first_load_done();

  Browser& model_;
  QPointer<QWebEngineView> view_;
  PanelPage* page_;
  std::vector<std::function<void()>> waiting_;  // loads and documents not started yet
  QString waiting_location_;  // the address of the last of them
  bool media_held_ = false;   // the page's media were paused as the panel was hidden
};

}  // namespace tav::qt
