// Browser panels on Qt WebEngine.
//
// Navigations the program starts have passed BeforeNavigate in the form
// model already and load directly. Navigations a page starts reach the
// model's BeforeNavigate: ordinary addresses through
// acceptNavigationRequest, link-protocol addresses through a script in
// every frame that reports them (with their text exactly as the page wrote
// it) and stops them, since they never load.
#pragma once

#include <QPointer>
#include <QWebEnginePage>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>
#include <functional>

#include "platform/browser_panel.h"

class QWebEngineProfile;

namespace tav {
class Browser;
}

namespace tav::qt {

// The pseudo-schemes of the link protocol. Registered before the
// application object exists (register_link_schemes).
extern const char* const kLinkSchemes[6];
void register_link_schemes();
// The profile every panel shares: no storage on disk, GBK as the default
// text encoding, the link-protocol script, the schemes' handler.
QWebEngineProfile* panel_profile();

class PanelPage;

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
  Browser& model() const { return model_; }

  // An address as the program gives it: a local path becomes a file URL.
  static QUrl to_qurl(std::string_view url);

 private:
  Browser& model_;
  QPointer<QWebEngineView> view_;
  PanelPage* page_;
};

// Link-protocol addresses that still reach the network stack are turned
// away quietly.
class LinkSchemeHandler final : public QWebEngineUrlSchemeHandler {
 public:
  using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
  void requestStarted(QWebEngineUrlRequestJob* job) override;
};

}  // namespace tav::qt
