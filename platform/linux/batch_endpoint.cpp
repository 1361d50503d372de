#include "platform/linux/batch_endpoint.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "linux_base/file_lock.h"
#include "platform/linux/batch_listener.h"

namespace kartiva::linux_os {
namespace {

// The socket's address, reached through the open folder: the folder stays the one that was
// checked, and however long its path, the address fits.
struct SocketAddress {
  sockaddr_un address{};
  socklen_t length = 0;
};

SocketAddress AddressIn(int folder, const std::string& name) {
  SocketAddress result;
  const std::string path = "/proc/self/fd/" + std::to_string(folder) + "/" + name;
  result.address.sun_family = AF_UNIX;
  std::memcpy(result.address.sun_path, path.c_str(), path.size() + 1);
  result.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
  return result;
}

UniqueFd NewSocket(int flags = 0) {
  return UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | flags, 0));
}

int ConnectTo(int socket, const SocketAddress& to) {
  while (::connect(socket, reinterpret_cast<const sockaddr*>(&to.address), to.length) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

bool SendAll(int socket, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

// The path as this instance means it: a relative one is read in its own working folder, not in
// the first instance's. None when it cannot be told (the working folder has gone).
std::optional<std::string> AbsolutePath(std::string_view path) {
  if (path.empty()) return std::nullopt;
  if (path.front() == '/') return std::string(path);
  const std::unique_ptr<char, decltype(&std::free)> folder(::getcwd(nullptr, 0), &std::free);
  if (!folder || folder.get()[0] != '/') return std::nullopt;
  std::string absolute(folder.get());
  if (absolute.back() != '/') absolute += '/';
  absolute.append(path);
  return absolute;
}

class UnixFirstInstanceLink : public FirstInstanceLink {
 public:
  explicit UnixFirstInstanceLink(UniqueFd socket) : socket_(std::move(socket)) {}

  // A path that cannot be made absolute is not handed over: the instance does its file itself.
  bool HandOver(std::string_view path) override {
    const std::optional<std::string> absolute = AbsolutePath(path);
    return absolute && SendAll(socket_.get(), *absolute) && ::shutdown(socket_.get(), SHUT_WR) == 0;
  }

  std::optional<std::string> NextMessage() override {
    for (;;) {
      const std::size_t end = received_.find('\n');
      if (end != std::string::npos) {
        std::string message = received_.substr(0, end);
        received_.erase(0, end + 1);
        return message;
      }
      if (received_.size() > kLongestBatchMessage || !Receive()) return std::nullopt;
    }
  }

 private:
  bool Receive() {
    char buffer[kLongestBatchMessage];
    ssize_t got = 0;
    do {
      got = ::recv(socket_.get(), buffer, sizeof buffer, 0);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) return false;
    received_.append(buffer, static_cast<std::size_t>(got));
    return true;
  }

  UniqueFd socket_;
  std::string received_;
};

// The socket's file as it is now, not following a link; false when there is none.
bool StatName(int folder, const std::string& name, struct stat& facts) {
  return ::fstatat(folder, name.c_str(), &facts, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace

std::optional<pid_t> PeerOfThisUser(int socket) {
  ucred peer{};
  socklen_t length = sizeof peer;
  if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 ||
      peer.uid != ::geteuid()) {
    return std::nullopt;
  }
  return peer.pid;
}

UnixBatchEndpoint::UnixBatchEndpoint(std::shared_ptr<MeetingFolder> folder, const std::string& tool)
    : folder_(std::move(folder)),
      name_(KeyedName(folder_->place(), "kartiva-" + tool) + ".socket") {}

std::unique_ptr<FirstInstanceLink> UnixBatchEndpoint::Connect() {
  const int folder = folder_->Get();
  // Without the name there is no first instance: the folder tells so for less than a refused
  // connection, whose address is walked through /proc.
  struct stat facts {};
  if (folder < 0 || !StatName(folder, name_, facts)) return nullptr;
  UniqueFd socket = NewSocket();
  if (socket.get() < 0 || ConnectTo(socket.get(), AddressIn(folder, name_)) != 0 ||
      !PeerOfThisUser(socket.get())) {
    return nullptr;
  }
  return std::make_unique<UnixFirstInstanceLink>(std::move(socket));
}

BatchEndpoint::Listening UnixBatchEndpoint::Listen() {
  const int folder = folder_->Get();
  if (folder < 0) return {};
  // One instance at a time decides who listens, so that a stale socket is replaced only once.
  const UniqueFd lock(::openat(folder, (name_ + ".lock").c_str(),
                               O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR));
  if (lock.get() < 0 || LockExclusively(lock.get()) != 0) return {};

  const SocketAddress address = AddressIn(folder, name_);
  UniqueFd socket = NewSocket(SOCK_NONBLOCK);
  if (socket.get() < 0) return {};
  const auto bind = [&] {
    return ::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address.address),
                  address.length) == 0;
  };
  if (!bind()) {
    struct stat facts {};
    if (errno != EADDRINUSE || !StatName(folder, name_, facts) || !S_ISSOCK(facts.st_mode)) {
      return {};
    }
    const UniqueFd probe = NewSocket(SOCK_NONBLOCK);
    const int answer = probe.get() < 0 ? EMFILE : ConnectTo(probe.get(), address);
    // Anything but a refusal means an instance listens there (perhaps with a full backlog).
    if (answer != ECONNREFUSED) return {.listener = nullptr, .taken = answer != EMFILE};
    if (::unlinkat(folder, name_.c_str(), 0) != 0 || !bind()) return {};
  }
  struct stat facts {};
  if (::listen(socket.get(), SOMAXCONN) != 0 || !StatName(folder, name_, facts)) return {};
  return {.listener = std::make_unique<UnixBatchListener>(folder_, name_, std::move(socket),
                                                          facts.st_dev, facts.st_ino)};
}

}  // namespace kartiva::linux_os
