#pragma once

// The private folder where the instances of the tools meet: the client check's lock and the batch
// endpoint's socket lie there.

#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>

#include "linux_base/unique_fd.h"
#include "platform/linux/meeting_key.h"

namespace kartiva::linux_os {

// Whether the open file or folder is of `kind` (S_IFREG, S_IFDIR) and belongs to this user alone.
bool OwnedByUserAlone(int fd, mode_t kind);

// The folder at the absolute `path` when it is a real folder (not a link), owned by this user and
// closed to everybody else; made first (closed to others) when `create` is set and it is missing.
// An invalid descriptor otherwise.
UniqueFd OpenPrivateFolder(const std::string& path, bool create);

// The private folder where the instances of the tools meet: the runtime folder when it is the
// user's own; else "kartiva-<uid>" in the shared parent (/tmp), made when missing; else, where
// another user has put something under that name, ".cache/kartiva-<host>" in the user's home,
// made when missing. Invalid when none can be had.
UniqueFd OpenMeetingFolder(const MeetingPlace& place);

// The meeting folder of a place, opened when first asked for and then kept: the client check's
// lock and the batch endpoint of one process share it.
class MeetingFolder {
 public:
  explicit MeetingFolder(MeetingPlace place) : place_(std::move(place)) {}

  const MeetingPlace& place() const { return place_; }
  // The open folder, or -1 when none can be had.
  int Get();

 private:
  MeetingPlace place_;
  std::optional<UniqueFd> folder_;
};

}  // namespace kartiva::linux_os
