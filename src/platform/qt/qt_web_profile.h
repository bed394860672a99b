// The engine profile every panel shares, and what the pages in it may do:
// the link-protocol schemes and the frame script that reports their
// addresses, and where commands may come from.
#pragma once

#include <QString>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

class QWebEngineProfile;

namespace tav::qt {

// The pseudo-schemes of the link protocol. Registered before the
// application object exists (register_link_schemes).
extern const char* const kLinkSchemes[6];
void register_link_schemes();
// The charset of the pages the program writes (the ANSI code page).
inline constexpr char kPageCharset[] = "GBK";
// Whether an address is a page the program writes in the code page: an
// .htm or .html file directly in the application folder.
bool is_code_page_page(const QUrl& url);
// Where link-protocol commands may come from: the top frame of a page of
// the content server's origin (scheme, host and port of its base address)
// and the pages the program writes into its application folder (which
// is_code_page_page looks at too). Until set: the executable's folder and
// no server.
void set_command_sources(const QUrl& server_base, const QString& app_folder);
bool may_command(const QUrl& page);
// The profile every panel shares: no storage on disk, GBK as the default
// text encoding, the link-protocol script, the schemes' handler.
QWebEngineProfile* panel_profile();

// The markers that start the frame script's console messages: one that
// carries a link-protocol address, one the link under the pointer at a
// right click. They hold a secret of this run of the program that exists
// only in the script's own world, which the page's scripts cannot see: a
// page cannot forge a report.
const QString& report_marker();
const QString& context_marker();

// Link-protocol addresses that still reach the network stack are turned
// away quietly.
class LinkSchemeHandler final : public QWebEngineUrlSchemeHandler {
 public:
  using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
  void requestStarted(QWebEngineUrlRequestJob* job) override;
};

}  // namespace tav::qt
