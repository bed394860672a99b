// The single-instance channel on Qt: a lock file tells whether an instance
// runs, a local socket carries a second start's command line to it.
#pragma once

#include <QByteArray>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/single_instance.h"

class QThread;

namespace tav::qt {

// The messages on the channel: the command line's length in decimal digits,
// a line feed, then its bytes. The receiver answers "OK\n" once it holds the
// whole command line, so a sender knows it arrived; a connection that ends
// early delivers nothing.
namespace instance_wire {
// A command line of a megabyte passes, with room to spare; nothing larger
// is read into memory.
inline constexpr qint64 kMaxCommandLine = qint64{2} << 20;
QByteArray frame(std::string_view command_line);
// The command line of a complete message; nothing while it is incomplete.
// `bad` is set when the bytes can never become a message.
std::optional<QByteArray> parse(const QByteArray& received, bool& bad);
}  // namespace instance_wire

// One running instance per application folder and user. The lock file and
// the socket live in a folder of the user's own (private_runtime_folder). The channel is served on a
// thread of its own: a second start hands over its command line and ends
// at once even while this instance's window is busy; the command line is
// carried out on the user-interface thread when it is free again.
class QtSingleInstance final : public QObject, public SingleInstance {
 public:
  // send_timeout_ms bounds send(): connecting, writing and the answer.
  explicit QtSingleInstance(const std::string& app_folder, int send_timeout_ms = 8000);
  ~QtSingleInstance() override;
  bool another_running() override;
  void serve(std::function<void(const std::string&)> on_execute) override;
  void withdraw() override;
  void leave() override;
  bool send(std::string_view command_line) override;

  const QString& lock_path() const { return lock_path_; }
  const QString& server_name() const { return server_name_; }
  // True while the channel is served.
  bool serving() const;

 private:
  void deliver(const QByteArray& command_line);

  QString lock_path_;
  QString server_name_;
  int send_timeout_ms_;
  std::unique_ptr<QLockFile> lock_;
  std::unique_ptr<QThread> thread_;
  std::function<void(const std::string&)> handler_;
};

}  // namespace tav::qt
