#include "platform/qt/qt_http.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <string>
#include <thread>

namespace tav::qt {

DeliveryGate& model_gate() {
  static DeliveryGate gate([](std::function<void()> call) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(call), Qt::QueuedConnection);
  });
  return gate;
}

std::string QtHttp::get(std::string_view url) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() != app->thread()) return inner_.get(url);
  gate_.hold();
  std::string body;
  QEventLoop loop;
  std::thread worker([this, address = std::string(url), &body, &loop] {
    body = inner_.get(address);
    QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
  });
  // Paint and expose events, the window manager's changes and the pages'
  // own work go on; clicks and keys wait for the handler to finish.
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  worker.join();
  gate_.release();
  return body;
}

}  // namespace tav::qt
