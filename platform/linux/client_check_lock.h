#pragma once

#include <memory>
#include <optional>

#include "core/client_check_lock.h"
#include "linux_base/unique_fd.h"
#include "platform/linux/meeting_folder.h"

namespace kartiva::linux_os {

// The client check's lock on Linux: the file "kartiva-client-check-<key>" in the meeting folder
// (OpenMeetingFolder), so that instances of one store share it and those of another do not. Never
// in the store, because a "No" must leave the store as it was. The file is held with flock, which
// the kernel lets go when its holder dies, and holds the moment of the last "No" as decimal
// nanoseconds.
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

}  // namespace kartiva::linux_os
