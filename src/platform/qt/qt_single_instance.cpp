#include "platform/qt/qt_single_instance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <future>

#include "platform/posix/private_folder.h"
#include "platform/qt/qt_http.h"

namespace tav::qt {

namespace instance_wire {

namespace {
constexpr int kMaxHeader = 20;  // digits of kMaxCommandLine, with room to spare
}  // namespace

QByteArray frame(std::string_view command_line) {
  QByteArray out = QByteArray::number(static_cast<qint64>(command_line.size()));
  out += '\n';
  out.append(command_line.data(), static_cast<qsizetype>(command_line.size()));
  return out;
}

std::optional<QByteArray> parse(const QByteArray& received, bool& bad) {
  bad = false;
  const qsizetype end = received.indexOf('\n');
  if (end < 0) {
    bad = received.size() > kMaxHeader;
    return std::nullopt;
  }
  const QByteArray digits = received.left(end);
  bool number = !digits.isEmpty() && end <= kMaxHeader;
  for (const char c : digits) number = number && c >= '0' && c <= '9';
  const qint64 length = number ? digits.toLongLong(&number) : -1;
  if (!number || length < 0 || length > kMaxCommandLine) {
    bad = true;
    return std::nullopt;
  }
  if (received.size() - end - 1 < length) return std::nullopt;
  return received.mid(end + 1, length);
}

}  // namespace instance_wire

namespace {

constexpr char kAnswer[] = "OK\n";

// Serves the channel on its own thread and event loop; every complete
// command line is passed to `post`, on this thread.
class ChannelThread final : public QThread {
 public:
  ChannelThread(QString name, std::function<void(QByteArray)> post)
      : name_(std::move(name)), post_(std::move(post)) {}

  // Starts the thread; true once it listens.
  bool start_listening() {
    std::future<bool> listening = listening_.get_future();
    start();
    return listening.get();
  }

 protected:
  void run() override {
    QLocalServer server;
    server.setSocketOptions(QLocalServer::UserAccessOption);
    // Any socket of that name was left by an instance that no longer runs:
    // the caller holds the lock.
    QLocalServer::removeServer(name_);
    const bool ok = server.listen(name_);
    if (!ok)
      std::fprintf(stderr, "tavori: the single-instance channel %s: %s\n", qPrintable(name_),
                   qPrintable(server.errorString()));
    listening_.set_value(ok);
    if (!ok) return;
    QObject::connect(&server, &QLocalServer::newConnection, &server, [&server, this] {
      while (QLocalSocket* socket = server.nextPendingConnection()) accept(socket);
    });
    exec();
  }

 private:
  void accept(QLocalSocket* socket) {
    auto received = std::make_shared<QByteArray>();
    auto done = std::make_shared<bool>(false);
    auto read = [this, socket, received, done] {
      if (*done) {
        socket->readAll();
        return;
      }
      received->append(socket->readAll());
      bool bad = false;
      const std::optional<QByteArray> command = instance_wire::parse(*received, bad);
      if (bad) {
        *done = true;
        socket->abort();
        return;
      }
      if (!command) return;
      *done = true;
      received->clear();
      socket->write(kAnswer);
      socket->flush();
      post_(*command);
      socket->disconnectFromServer();
    };
    QObject::connect(socket, &QLocalSocket::readyRead, socket, read);
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    if (socket->bytesAvailable() > 0) read();
  }

  QString name_;
  std::function<void(QByteArray)> post_;
  std::promise<bool> listening_;
};

// A socket path fits in sockaddr_un (108 bytes with the terminator).
constexpr int kMaxSocketPath = 100;

}  // namespace

QtSingleInstance::QtSingleInstance(const std::string& app_folder, int send_timeout_ms)
    : send_timeout_ms_(send_timeout_ms) {
  const QByteArray hash =
      QCryptographicHash::hash(QByteArray::fromStdString(app_folder), QCryptographicHash::Sha1)
          .toHex()
          .left(12);
  const QString key = QStringLiteral("Tavori-BA1-") + QString::fromLatin1(hash);
  // Only in a folder that no other user can enter: another user's listener
  // must never receive the command lines, nor a lock of theirs stop a start.
  // Without such a folder there is no channel, and every start runs alone.
  const QString dir = QString::fromStdString(private_runtime_folder());
  if (dir.isEmpty()) return;
  QString socket = dir + "/" + key + ".socket";
  if (socket.toLocal8Bit().size() > kMaxSocketPath) socket = dir + "/" + QString::fromLatin1(hash);
  if (socket.toLocal8Bit().size() > kMaxSocketPath) return;
  lock_path_ = dir + "/" + key + ".lock";
  server_name_ = socket;
}

QtSingleInstance::~QtSingleInstance() { withdraw(); }

bool QtSingleInstance::another_running() {
  if (lock_path_.isEmpty()) return false;
  lock_ = std::make_unique<QLockFile>(lock_path_);
  // Only a lock of a process that has ended is stale, however old it is.
  lock_->setStaleLockTime(0);
  // A live instance without a channel is starting (it serves a moment after
  // it locks) or ending (it unlocks a moment after it stops serving): wait
  // for either, a bounded time.
  const QDeadlineTimer deadline(std::min(send_timeout_ms_, 5000));
  for (;;) {
    if (lock_->tryLock(0)) return false;
    QLocalSocket probe;
    probe.connectToServer(server_name_);
    const bool answers = probe.waitForConnected(1000);
    probe.abort();
    if (answers) return true;
    // A lock file nobody holds (its process id taken by another program,
    // or written on another machine) can go; a live holder keeps its own.
    lock_->removeStaleLockFile();
    if (lock_->tryLock(0)) return false;
    if (deadline.hasExpired()) return true;
    QThread::msleep(50);
  }
}

void QtSingleInstance::serve(std::function<void(const std::string&)> on_execute) {
  withdraw();
  if (server_name_.isEmpty()) return;
  handler_ = std::move(on_execute);
  auto thread = std::make_unique<ChannelThread>(server_name_, [this](QByteArray command) {
    QMetaObject::invokeMethod(
        this, [this, command] { model_gate().deliver([this, command] { deliver(command); }); },
        Qt::QueuedConnection);
  });
  if (thread->start_listening()) thread_ = std::move(thread);
  else thread->wait();
}

bool QtSingleInstance::serving() const { return thread_ != nullptr; }

void QtSingleInstance::deliver(const QByteArray& command_line) {
  if (!handler_) return;
  const auto handler = handler_;  // the handler may withdraw
  handler(command_line.toStdString());
}

void QtSingleInstance::withdraw() {
  if (thread_) {
    thread_->quit();
    thread_->wait();
    thread_.reset();
  }
  handler_ = nullptr;
}

void QtSingleInstance::leave() {
  withdraw();
  if (lock_) lock_->unlock();
}

bool QtSingleInstance::send(std::string_view command_line) {
  if (server_name_.isEmpty()) return false;
  if (static_cast<qint64>(command_line.size()) > instance_wire::kMaxCommandLine) return false;
  const QDeadlineTimer deadline(send_timeout_ms_);
  auto remaining = [&] { return static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)); };
  QLocalSocket socket;
  // The instance may hold its lock a moment before it serves the channel.
  for (;;) {
    socket.connectToServer(server_name_);
    if (socket.waitForConnected(std::min(remaining(), 1000))) break;
    socket.abort();
    if (deadline.hasExpired()) return false;
    QThread::msleep(static_cast<unsigned long>(std::min(remaining(), 100)));
  }
  socket.write(instance_wire::frame(command_line));
  while (socket.bytesToWrite() > 0) {
    if (deadline.hasExpired() || !socket.waitForBytesWritten(remaining())) return false;
  }
  QByteArray answer;
  while (!answer.contains('\n')) {
    if (socket.bytesAvailable() == 0 && (deadline.hasExpired() || !socket.waitForReadyRead(remaining())))
      return false;
    answer += socket.readAll();
  }
  return answer.startsWith("OK");
}

}  // namespace tav::qt
