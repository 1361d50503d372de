#pragma once

// The batch endpoint on Linux: a Unix stream socket "kartiva-<tool>-<key>.socket" in the private
// folder where the client check's lock lies (the runtime folder, see meeting_folder.h). A waiting
// instance writes its path and shuts its side; the first instance answers with lines. Both sides
// take only a peer of the same user (SO_PEERCRED).

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>

#include "core/batch_endpoint.h"
#include "platform/linux/meeting_folder.h"

namespace kartiva::linux_os {

class UnixBatchEndpoint : public BatchEndpoint {
 public:
  // `tool` and the place's key name the socket, so that only instances of one tool that would
  // do the same work meet.
  UnixBatchEndpoint(std::shared_ptr<MeetingFolder> folder, const std::string& tool);

  std::unique_ptr<FirstInstanceLink> Connect() override;
  // A socket left by an instance that died (nobody answers on it) is replaced; a name held by
  // anything but a socket is left alone, and the instance does its file without meeting others.
  Listening Listen() override;

 private:
  std::shared_ptr<MeetingFolder> folder_;
  std::string name_;
};

// The process at the other end of the socket when it runs as this user.
std::optional<pid_t> PeerOfThisUser(int socket);

}  // namespace kartiva::linux_os
