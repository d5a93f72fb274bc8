#include "platform/gui/single_instance.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "platform/gui/screen.h"
#include "platform/message/remote_post.h"
#include "win/gui.h"

namespace murmel::gui {

namespace {

// One request on the socket: what to do, then the message and its two parameters.
enum class Request : std::uint32_t { kPost = 1, kRaise = 2 };
struct Record {
  std::uint32_t request;
  std::uint32_t message;
  std::uint64_t wparam;
  std::uint64_t lparam;
};
static_assert(sizeof(Record) == 24);

// Remote handles lie far above every local one (slot and generation fit in 31 bits).
constexpr std::uintptr_t kRemoteMark = std::uintptr_t{1} << 40;

std::string RuntimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') return runtime;
  // Without a runtime folder, a private one in /tmp serves the same purpose.
  std::string folder = "/tmp/murmelpost-runtime-" + std::to_string(getuid());
  mkdir(folder.c_str(), 0700);
  return folder;
}

// The file names carry the class name (lower case, as classes compare without case); an
// unusual or long name is replaced by its hash so that the socket path stays short.
std::string BasePath(const std::u16string& class_name) {
  QString name = QString::fromStdU16String(class_name).toLower();
  bool plain = !name.isEmpty() && name.size() <= 40;
  for (QChar ch : name) plain = plain && (ch.isLetterOrNumber() && ch.unicode() < 128);
  if (!plain) {
    name = QString::fromLatin1(
        QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex().left(24));
  }
  return RuntimeFolder() + "/murmelpost-window-" + name.toStdString();
}

std::string SocketPath(const std::u16string& class_name) {
  return BasePath(class_name) + ".socket";
}

// The window this process shows for a class, with the lock and the server that publish it.
struct Published {
  HWND window = nullptr;
  std::unique_ptr<QLockFile> lock;
  std::unique_ptr<QLocalServer> server;
};

// Used on the user-interface thread only.
std::map<std::u16string, Published>& PublishedWindows() {
  static std::map<std::u16string, Published> published;
  return published;
}

// The classes this process publishes, readable from any thread: looking for one of them
// must not find this process again through its own socket.
struct OwnClasses {
  std::mutex mutex;
  std::set<std::u16string> keys;
};

OwnClasses& Own() {
  static OwnClasses own;
  return own;
}

std::u16string ClassKey(const std::u16string& class_name) {
  return QString::fromStdU16String(class_name).toLower().toStdU16String();
}

struct RemoteTable {
  std::mutex mutex;
  std::map<std::uintptr_t, std::string> sockets;  // handle to socket path
};

RemoteTable& Remotes() {
  static RemoteTable table;
  return table;
}

void Serve(HWND window, const Record& record) {
  if (record.request == static_cast<std::uint32_t>(Request::kRaise)) {
    QWidget* screen = ScreenWidget();
    screen->setWindowState(screen->windowState() & ~Qt::WindowMinimized);
    SetForegroundWindow(window);
  } else if (record.request == static_cast<std::uint32_t>(Request::kPost)) {
    PostMessageW(window, record.message, static_cast<WPARAM>(record.wparam),
                 static_cast<LPARAM>(record.lparam));
  }
}

void Accept(QLocalServer* server, HWND window) {
  while (QLocalSocket* connection = server->nextPendingConnection()) {
    QObject::connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
    QObject::connect(connection, &QLocalSocket::readyRead, connection, [connection, window] {
      Record record{};
      while (connection->bytesAvailable() >= static_cast<qint64>(sizeof record)) {
        connection->read(reinterpret_cast<char*>(&record), sizeof record);
        Serve(window, record);
      }
    });
  }
}

// A connected socket to the path, or -1.
int Connect(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return -1;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool SendRecord(HWND window, const Record& record) {
  std::string path;
  {
    std::lock_guard lock(Remotes().mutex);
    const auto it = Remotes().sockets.find(reinterpret_cast<std::uintptr_t>(window));
    if (it == Remotes().sockets.end()) return false;
    path = it->second;
  }
  const int fd = Connect(path);
  if (fd < 0) return false;
  const auto* bytes = reinterpret_cast<const char*>(&record);
  std::size_t sent = 0;
  while (sent < sizeof record) {
    const ssize_t count = send(fd, bytes + sent, sizeof record - sent, MSG_NOSIGNAL);
    if (count <= 0) break;
    sent += static_cast<std::size_t>(count);
  }
  close(fd);
  return sent == sizeof record;
}

bool PostRemote(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendRecord(window,
                    Record{static_cast<std::uint32_t>(Request::kPost), message,
                           static_cast<std::uint64_t>(wParam), static_cast<std::uint64_t>(lParam)});
}

}  // namespace

void PublishTopLevel(HWND window, const std::u16string& class_name) {
  const std::u16string key = ClassKey(class_name);
  auto& published = PublishedWindows();
  if (published.count(key) != 0) return;  // the first window of the class stands for it
  const std::string base = BasePath(class_name);
  auto lock = std::make_unique<QLockFile>(QString::fromStdString(base + ".lock"));
  // A holder that died (kill -9) leaves its lock; Qt sees that its process is gone.
  if (!lock->tryLock(0)) return;
  const QString socket_path = QString::fromStdString(base + ".socket");
  QLocalServer::removeServer(socket_path);
  auto server = std::make_unique<QLocalServer>();
  server->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server->listen(socket_path)) return;
  QLocalServer* raw = server.get();
  QObject::connect(raw, &QLocalServer::newConnection, raw, [raw, window] { Accept(raw, window); });
  published[key] = Published{window, std::move(lock), std::move(server)};
  std::lock_guard own(Own().mutex);
  Own().keys.insert(key);
}

void WithdrawTopLevel(HWND window) {
  auto& published = PublishedWindows();
  for (auto it = published.begin(); it != published.end(); ++it) {
    if (it->second.window != window) continue;
    it->second.server->close();  // removes the socket file
    {
      std::lock_guard own(Own().mutex);
      Own().keys.erase(it->first);
    }
    published.erase(it);  // the lock goes with it
    return;
  }
}

HWND FindRemoteWindow(const std::u16string& class_name) {
  {
    std::lock_guard own(Own().mutex);
    if (Own().keys.count(ClassKey(class_name)) != 0) return nullptr;
  }
  const std::string path = SocketPath(class_name);
  const int fd = Connect(path);
  if (fd < 0) return nullptr;  // nobody listens: no copy, or a stale socket of a dead one
  close(fd);
  message::SetRemotePoster(&PostRemote);
  std::lock_guard lock(Remotes().mutex);
  for (const auto& [handle, socket] : Remotes().sockets) {
    if (socket == path) return reinterpret_cast<HWND>(handle);
  }
  const std::uintptr_t handle = kRemoteMark | (Remotes().sockets.size() + 1);
  Remotes().sockets[handle] = path;
  return reinterpret_cast<HWND>(handle);
}

bool IsRemoteWindow(HWND window) {
  std::lock_guard lock(Remotes().mutex);
  return Remotes().sockets.count(reinterpret_cast<std::uintptr_t>(window)) != 0;
}

bool RaiseRemoteWindow(HWND window) {
  return SendRecord(window, Record{static_cast<std::uint32_t>(Request::kRaise), 0, 0, 0});
}

bool PostToRemoteWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return PostRemote(window, message, wParam, lParam);
}

}  // namespace murmel::gui
