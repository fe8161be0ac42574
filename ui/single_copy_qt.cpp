#include "ui/single_copy_qt.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDir>
#include <QSocketNotifier>
#include <QVariantMap>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

#include "ui/single_copy.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace kestrion {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kCallTimeoutMs = 2000;
constexpr const char* kApplicationInterface = "org.freedesktop.Application";

// The object path that goes with a bus name: its dots made slashes.
QString PathOf(const std::string& name) {
  return QLatin1Char('/') +
         QString::fromStdString(name).replace(QLatin1Char('.'), QLatin1Char('/'));
}

// org.freedesktop.Application, as desktops and launchers reach a running program: Activate
// and Open (the program opens no files) bring the bar into view; it has no actions.
class ApplicationObject final : public QDBusVirtualObject {
 public:
  explicit ApplicationObject(std::function<void()> activate) : activate_(std::move(activate)) {}

  QString introspect(const QString&) const override {
    return QStringLiteral(
        "<interface name=\"org.freedesktop.Application\">"
        "<method name=\"Activate\"><arg type=\"a{sv}\" name=\"platform_data\" direction=\"in\"/>"
        "</method>"
        "<method name=\"Open\"><arg type=\"as\" name=\"uris\" direction=\"in\"/>"
        "<arg type=\"a{sv}\" name=\"platform_data\" direction=\"in\"/></method>"
        "<method name=\"ActivateAction\"><arg type=\"s\" name=\"action_name\" direction=\"in\"/>"
        "<arg type=\"av\" name=\"parameter\" direction=\"in\"/>"
        "<arg type=\"a{sv}\" name=\"platform_data\" direction=\"in\"/></method>"
        "</interface>");
  }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.interface() != QLatin1String(kApplicationInterface)) return false;
    const QString member = message.member();
    if (member == QLatin1String("Activate") || member == QLatin1String("Open")) {
      activate_();
      connection.send(message.createReply());
      return true;
    }
    connection.send(message.createErrorReply(QDBusError::UnknownMethod,
                                             QStringLiteral("Kestrion has no such method")));
    return true;
  }

 private:
  std::function<void()> activate_;
};

// On the session bus: the display's name, and the application id for the desktop's launchers
// where no copy on another display has it.
class BusCopy final : public SessionCopy {
 public:
  BusCopy(QDBusConnection bus, std::string name, std::function<void()> activate,
          Clock::time_point deadline)
      : bus_(std::move(bus)), name_(std::move(name)), deadline_(deadline) {
    // The object is there before the name, so that whoever finds the name can call it.
    object_ = new ApplicationObject(std::move(activate));
    bus_.registerVirtualObject(PathOf(name_), object_, QDBusConnection::SingleNode);
    bus_.registerVirtualObject(PathOf(kAppId), object_, QDBusConnection::SingleNode);
  }

  bool Claim() override {
    if (!Own(name_)) return false;
    Own(kAppId);
    return true;
  }

  // A copy that is stopped or hung keeps each call waiting for as long as it may: never past
  // the time the start has. Calls it did not answer are still there for it when it goes on.
  bool AskRunningCopy() override {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
    if (left <= 0) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromStdString(name_), PathOf(name_),
                                                       QLatin1String(kApplicationInterface),
                                                       QStringLiteral("Activate"));
    call << QVariantMap();
    const int timeout_ms = static_cast<int>(std::min<long long>(left, kCallTimeoutMs));
    return bus_.call(call, QDBus::Block, timeout_ms).type() == QDBusMessage::ReplyMessage;
  }

  void Release() {
    bus_.unregisterObject(PathOf(name_));
    bus_.unregisterObject(PathOf(kAppId));
    delete object_;
  }

 private:
  bool Own(const std::string& name) {
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus_.interface()->registerService(QString::fromStdString(name),
                                          QDBusConnectionInterface::DontQueueService,
                                          QDBusConnectionInterface::DontAllowReplacement);
    return reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
  }

  QDBusConnection bus_;
  std::string name_;
  Clock::time_point deadline_;
  ApplicationObject* object_ = nullptr;
};

// With no session bus: a lock held while the copy runs and a socket it listens on, in the
// user's runtime folder. A connection to the socket is the request; nothing is read.
class SocketCopy final : public SessionCopy {
 public:
  SocketCopy(const std::string& folder, const std::string& name, std::function<void()> activate)
      : lock_path_(folder + "/" + name + ".lock"),
        socket_path_(folder + "/" + name + ".socket"),
        activate_(std::move(activate)) {}

  bool Claim() override {
    const int lock = open(lock_path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0) return true;  // nowhere to keep a claim: the start goes on as before
    if (flock(lock, LOCK_EX | LOCK_NB) != 0) {
      close(lock);
      return false;
    }
    // Held until the process ends. A socket left by a copy that ended is replaced.
    unlink(socket_path_.c_str());
    const int listening = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address = Address();
    if (listening < 0 ||
        bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listening, 8) != 0) {
      if (listening >= 0) close(listening);
      return true;  // the one copy all the same, that no other start can reach
    }
    auto* notifier =
        new QSocketNotifier(listening, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [listening, notifier, this] {
      const int peer = accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
      if (peer >= 0) {
        close(peer);
      } else if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        // Out of descriptors: the request left waiting would wake this copy again at once, for
        // ever. This one is the last heard, as when the socket cannot be made.
        notifier->setEnabled(false);
      }
      activate_();
    });
    return true;
  }

  // Without blocking: the queue of a copy that takes no requests (stopped, hung) fills, and a
  // blocking connect would then wait for as long. A full queue holds requests enough to bring
  // the bar into view when the copy takes them again.
  bool AskRunningCopy() override {
    const int peer = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (peer < 0) return false;
    sockaddr_un address = Address();
    const bool asked =
        connect(peer, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
        errno == EAGAIN;
    close(peer);
    return asked;
  }

 private:
  sockaddr_un Address() const {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket_path_.c_str(), sizeof address.sun_path - 1);
    return address;
  }

  std::string lock_path_;
  std::string socket_path_;
  std::function<void()> activate_;
};

// $XDG_RUNTIME_DIR, else a folder of the user's own under the temporary folder.
std::string RuntimeFolder() {
  if (const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR"); !runtime.isEmpty()) {
    return runtime.toStdString();
  }
  const std::string folder =
      QDir::tempPath().toStdString() + "/kestrion-" + std::to_string(getuid());
  mkdir(folder.c_str(), 0700);
  struct stat info = {};
  if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid()) {
    return {};
  }
  return folder;
}

// The claim held, as long as the process lives. Never read: volatile, so that the store is
// kept and leak checkers find the claim referred to.
SessionCopy* volatile g_held = nullptr;

}  // namespace

bool ClaimSessionCopy(std::function<void()> activate) {
  QByteArray display = qgetenv("DISPLAY");
  if (display.isEmpty()) display = qgetenv("WAYLAND_DISPLAY");
  const std::string name = SessionCopyName(display.toStdString());
  const auto deadline =
      Clock::now() + std::chrono::milliseconds(kSessionCopyAttempts * kSessionCopyPauseMs);
  const auto pause = [deadline] {
    std::this_thread::sleep_until(
        std::min(deadline, Clock::now() + std::chrono::milliseconds(kSessionCopyPauseMs)));
  };
  if (QDBusConnection bus = QDBusConnection::sessionBus(); bus.isConnected()) {
    auto* copy = new BusCopy(bus, name, std::move(activate), deadline);
    if (TakeSessionCopy(*copy, pause, kSessionCopyAttempts)) {
      g_held = copy;
      return true;
    }
    copy->Release();
    delete copy;
    return false;
  }
  const std::string folder = RuntimeFolder();
  if (folder.empty()) return true;
  auto* copy = new SocketCopy(folder, name, std::move(activate));
  if (TakeSessionCopy(*copy, pause, kSessionCopyAttempts)) {
    g_held = copy;
    return true;
  }
  delete copy;
  return false;
}

}  // namespace kestrion
