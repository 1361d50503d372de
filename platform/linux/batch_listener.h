#pragma once

// The first instance's side of the Linux batch endpoint: it takes connections without blocking,
// reads the paths of many at once, and lets go of one that says nothing for too long.

#include <sys/types.h>

#include <chrono>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/batch_endpoint.h"
#include "linux_base/unique_fd.h"
#include "platform/linux/meeting_folder.h"

namespace kartiva::linux_os {

// How long a connection may take to hand its path over.
inline constexpr std::chrono::milliseconds kSilentLimit{2000};
// The most connections read at once; further ones wait in the socket's backlog.
inline constexpr std::size_t kMostPending = 256;

class UnixBatchListener : public BatchListener {
 public:
  // `socket` listens under `name` in `folder`; the name is taken away again when the listener
  // goes, as long as it is still this socket's (`device`, `inode`).
  UnixBatchListener(std::shared_ptr<MeetingFolder> folder, std::string name, UniqueFd socket,
                    dev_t device, ino_t inode);
  ~UnixBatchListener() override;
  UnixBatchListener(const UnixBatchListener&) = delete;
  UnixBatchListener& operator=(const UnixBatchListener&) = delete;

  std::optional<Arrival> NextArrival(std::chrono::milliseconds wait) override;
  // A connection whose path has not come in full, or an instance that has not connected yet
  // (instances_on_their_way.h).
  bool InstancesOnTheirWay() override;

 private:
  using Clock = std::chrono::steady_clock;
  struct Pending {
    UniqueFd socket;
    std::string path{};
    Clock::time_point since{};
  };

  void Poll(Clock::time_point deadline);
  void AcceptAll();
  // Reads what came; false once the connection is done with (handed over or dropped).
  bool Read(Pending& pending);
  void DropSilent(Clock::time_point now);

  std::shared_ptr<MeetingFolder> folder_;
  std::string name_;
  UniqueFd socket_;
  dev_t device_;
  ino_t inode_;
  std::vector<Pending> pending_;
  std::set<pid_t> met_;  // the processes that connected
  std::deque<Arrival> ready_;
};

// The first instance's link to one waiting instance.
class UnixWaiterLink : public WaiterLink {
 public:
  explicit UnixWaiterLink(UniqueFd socket) : socket_(std::move(socket)) {}
  void Tell(std::string_view message) override;

 private:
  UniqueFd socket_;
};

}  // namespace kartiva::linux_os
