#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/client_check_lock.h"
#include "linux_base/unique_fd.h"
#include "platform/linux/meeting_key.h"

namespace kartiva::linux_os {

// The client check's lock on Linux: the file "kartiva-client-check-<key>" in the meeting folder
// (OpenMeetingFolder), so that instances of one store share it and those of another do not. Never
// in the store, because a "No" must leave the store as it was. The file is held with flock, which
// the kernel lets go when its holder dies, and holds the moment of the last "No" as decimal
// nanoseconds.
class MeetingFolder;

class FileClientCheckLock : public ClientCheckLock {
 public:
  explicit FileClientCheckLock(std::shared_ptr<MeetingFolder> folder);

  bool Acquire() override;
  void Release() override;
  std::optional<CheckTime> LastDecline() override;
  void RecordDecline(CheckTime at) override;

 private:
  UniqueFd OpenLockFile() const;

  std::shared_ptr<MeetingFolder> folder_;
  UniqueFd file_;
};

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
