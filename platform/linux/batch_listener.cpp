#include "platform/linux/batch_listener.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "platform/linux/batch_endpoint.h"
#include "platform/linux/instances_on_their_way.h"

namespace kartiva::linux_os {
namespace {

int MillisecondsUntil(std::chrono::steady_clock::time_point deadline) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, 60'000));
}

}  // namespace

UnixBatchListener::UnixBatchListener(std::shared_ptr<MeetingFolder> folder, std::string name,
                                     UniqueFd socket, dev_t device, ino_t inode)
    : folder_(std::move(folder)),
      name_(std::move(name)),
      socket_(std::move(socket)),
      device_(device),
      inode_(inode) {}

// The name goes first, so that no instance connects any more; closing the socket then ends the
// connections that were not taken, and their instances go on without this one.
UnixBatchListener::~UnixBatchListener() {
  struct stat facts {};
  const int folder = folder_->Get();
  if (::fstatat(folder, name_.c_str(), &facts, AT_SYMLINK_NOFOLLOW) == 0 &&
      facts.st_dev == device_ && facts.st_ino == inode_) {
    ::unlinkat(folder, name_.c_str(), 0);
  }
}

std::optional<Arrival> UnixBatchListener::NextArrival(std::chrono::milliseconds wait) {
  const Clock::time_point deadline = Clock::now() + wait;
  for (;;) {
    if (!ready_.empty()) {
      Arrival arrival = std::move(ready_.front());
      ready_.pop_front();
      return arrival;
    }
    DropSilent(Clock::now());
    Poll(deadline);
    if (ready_.empty() && Clock::now() >= deadline) return std::nullopt;
  }
}

// Waits until the deadline, or the moment the oldest connection is due to be dropped, for a
// connection or a path to come, and takes what came.
void UnixBatchListener::Poll(Clock::time_point deadline) {
  // With as many connections as it reads at once, the next ones wait in the backlog.
  const short accepting = pending_.size() < kMostPending ? POLLIN : 0;
  std::vector<pollfd> watched{{socket_.get(), accepting, 0}};
  for (const Pending& pending : pending_) {
    watched.push_back({pending.socket.get(), POLLIN, 0});
    deadline = std::min(deadline, pending.since + kSilentLimit);
  }
  if (::poll(watched.data(), watched.size(), MillisecondsUntil(deadline)) <= 0) return;
  std::vector<Pending> still;
  for (std::size_t i = 0; i < pending_.size(); ++i) {
    if (watched[i + 1].revents == 0 || Read(pending_[i])) still.push_back(std::move(pending_[i]));
  }
  pending_ = std::move(still);
  if (watched[0].revents != 0) AcceptAll();
}

void UnixBatchListener::AcceptAll() {
  while (pending_.size() < kMostPending) {
    UniqueFd connection(::accept4(socket_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (connection.get() < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    const std::optional<pid_t> peer = PeerOfThisUser(connection.get());
    if (!peer) continue;
    met_.insert(*peer);
    pending_.push_back({std::move(connection), {}, Clock::now()});
    // What is there already is read at once, without another round.
    if (!Read(pending_.back())) pending_.pop_back();
  }
}

bool UnixBatchListener::Read(Pending& pending) {
  char buffer[16 * 1024];
  for (;;) {
    const ssize_t got = ::recv(pending.socket.get(), buffer, sizeof buffer, 0);
    if (got > 0) {
      pending.path.append(buffer, static_cast<std::size_t>(got));
      if (pending.path.size() > kLongestHandedPath) return false;
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    // The end of what the instance sends: its whole path.
    if (got == 0 && ReadHandOver(pending.path)) {
      ready_.push_back(
          {std::move(pending.path), std::make_unique<UnixWaiterLink>(std::move(pending.socket))});
    }
    return false;
  }
}

bool UnixBatchListener::InstancesOnTheirWay() {
  return !pending_.empty() || OthersOnTheirWay(met_);
}

void UnixBatchListener::DropSilent(Clock::time_point now) {
  std::erase_if(pending_,
                [&](const Pending& pending) { return now - pending.since >= kSilentLimit; });
}

void UnixWaiterLink::Tell(std::string_view message) {
  std::string line(message);
  line += '\n';
  // A waiter that has gone (or stopped reading) is not waited for.
  [[maybe_unused]] const ssize_t sent =
      ::send(socket_.get(), line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

}  // namespace kartiva::linux_os
