#include "platform/qt/qt_services.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cstdlib>

#include "base/text.h"
#include "platform/qt/qt_http.h"
#include "platform/qt/qt_windows.h"

namespace tav::qt {

namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

}  // namespace

// Dialogs ----------------------------------------------------------------------

MsgAnswer QtDialogs::message_box(std::string_view text, std::string_view title,
                                 MsgButtons buttons, MsgIcon icon) {
  QtWindows::release_pointer_for_modal();
  QMessageBox box(QApplication::activeWindow());
  // A box of a fixed size: the window manager offers neither minimise nor
  // maximise.
  box.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                     Qt::WindowCloseButtonHint);
  box.setWindowTitle(qs(title));
  box.setText(qs(text));
  box.setIcon(icon == MsgIcon::Question      ? QMessageBox::Question
              : icon == MsgIcon::Information ? QMessageBox::Information
                                             : QMessageBox::NoIcon);
  if (buttons == MsgButtons::YesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("是(&Y)"));
    box.button(QMessageBox::No)->setText(QStringLiteral("否(&N)"));
  } else {
    box.setStandardButtons(QMessageBox::Ok);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
  }
  if (on_trace) {
    QTimer::singleShot(0, &box, [this, &box] {
      std::string line = "msgbox shown " + box.windowTitle().toStdString() + " | " +
                         box.text().toStdString();
      for (QAbstractButton* b : box.buttons()) {
        const QRect r(b->mapTo(&box, QPoint(0, 0)), b->size());
        line += " | " + b->text().toStdString() + (b->isEnabled() ? " on " : " off ") +
                std::to_string(r.x()) + "," +
                std::to_string(r.y()) + "," + std::to_string(r.width()) + "," +
                std::to_string(r.height());
      }
      on_trace(line);
    });
  }
  const int r = box.exec();
  if (on_trace) {
    const char* answer = r == QMessageBox::Yes ? "yes" : r == QMessageBox::No ? "no" : "ok";
    on_trace(std::string("msgbox answered ") + answer);
  }
  if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
  return r == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
}

QString QtDialogs::qt_filter(std::string_view filter) {
  const std::vector<std::string> parts = split(filter, "|");
  QStringList out;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns;
    for (const std::string& p : split(parts[i + 1], ";"))
      if (!p.empty()) patterns << (p == "*.*" ? QStringLiteral("*") : qs(p));
    out << qs(parts[i]) + " (" + patterns.join(' ') + ")";
  }
  return out.join(";;");
}

std::string QtDialogs::open_file(std::string_view filter, std::string_view title) {
  QtWindows::release_pointer_for_modal();
  const QString file = QFileDialog::getOpenFileName(QApplication::activeWindow(), qs(title),
                                                    QString(), qt_filter(filter));
  return file.toStdString();
}

std::string QtDialogs::choose_folder(std::string_view initial_folder, std::string_view prompt) {
  QtWindows::release_pointer_for_modal();
  const QString folder = QFileDialog::getExistingDirectory(
      QApplication::activeWindow(), prompt.empty() ? QStringLiteral("请选择文件夹") : qs(prompt),
      qs(initial_folder));
  return folder.toStdString();
}

// Screen -----------------------------------------------------------------------

WorkArea QtScreen::work_area() const {
  const QScreen* s = QGuiApplication::primaryScreen();
  if (!s) return {0, 0, 1024, 728};
  const QRect r = s->availableGeometry();
  return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

int QtScreen::width_px() const {
  const QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().width() : 1024;
}

int QtScreen::height_px() const {
  const QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().height() : 768;
}

// Event loop -------------------------------------------------------------------

void QtEventLoop::do_events() { QCoreApplication::processEvents(QEventLoop::AllEvents, 50); }

void QtEventLoop::end_process() {
  ended_ = true;
  std::_Exit(0);
}

void QtEventLoop::quit() {
  ended_ = true;
  QCoreApplication::quit();
}

// Fonts and metrics ------------------------------------------------------------

QFont form_font(int pixel_size, bool bold) {
  QFont f(QStringList{QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei"),
                      QStringLiteral("Sans Serif")});
  f.setPixelSize(pixel_size > 0 ? pixel_size : 12);
  f.setBold(bold);
  return f;
}

Point QtTextMetrics::measure(const std::string& text, int font_size, bool bold) const {
  const QFontMetrics m(form_font(font_size, bold));
  // The line is as tall as the classic 9-point face's: the CJK face's own
  // line height would push labels out of the thin title strips.
  return {m.horizontalAdvance(QString::fromStdString(text)), (font_size > 0 ? font_size : 12) + 4};
}

// Images -----------------------------------------------------------------------

const QPixmap& QtImages::pixmap(const std::string& id) {
  static std::map<std::string, QPixmap> cache;
  auto it = cache.find(id);
  if (it == cache.end()) {
    QPixmap p(":/skin/" + QString::fromStdString(id) + ".png");
    it = cache.emplace(id, std::move(p)).first;
  }
  return it->second;
}

Picture QtImages::load_resource(int number) const {
  if (number < 101 || number > 111) return {};
  const std::string id = "ppt" + std::to_string(number - 101);
  const QPixmap& p = pixmap(id);
  if (p.isNull()) return {};
  return {id, p.width(), p.height()};
}

// Tray -------------------------------------------------------------------------

QtTray::QtTray() = default;

void QtTray::add(std::string_view tip) {
  if (!icon_) {
    icon_ = std::make_unique<QSystemTrayIcon>(QIcon(":/skin/tavori64.png"));
    QObject::connect(icon_.get(), &QSystemTrayIcon::activated, this,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                       model_gate().deliver([this, reason] {
                         // The second of two quick clicks comes as a double
                         // click: a click too.
                         if ((reason == QSystemTrayIcon::Trigger ||
                              reason == QSystemTrayIcon::DoubleClick) &&
                             on_left_click)
                           on_left_click();
                         if (reason == QSystemTrayIcon::Context && on_right_click) {
                           QtWindows::TrayMenuScope from_tray;
                           on_right_click();
                         }
                       });
                     });
  }
  icon_->setToolTip(qs(tip));
  icon_->show();
}

void QtTray::modify(std::string_view tip) {
  if (icon_) icon_->setToolTip(qs(tip));
}

void QtTray::show_balloon(std::string_view title, std::string_view text) {
  if (icon_) icon_->showMessage(qs(title), qs(text), QSystemTrayIcon::Information);
}

bool QtTray::shown() const {
  return icon_ && icon_->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTray::remove() {
  if (icon_) icon_->hide();
  icon_.reset();
}

}  // namespace tav::qt
