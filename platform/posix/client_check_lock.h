#pragma once

#include <string>

#include "core/client_check_lock.h"
#include "posix_base/unique_fd.h"

namespace kartiva::posix {

// The client check's lock on Linux: the file "kartiva-client-check" in the user's runtime folder
// (XDG_RUNTIME_DIR), or, where that is not the user's own private folder, in a private folder
// "kartiva-<uid>" that it makes in `fallbackParent`. Never in the store, because a "No" must leave
// the store as it was. The file is held with flock, which the kernel lets go when its holder dies,
// and holds the moment of the last "No" as decimal nanoseconds.
class FileClientCheckLock : public ClientCheckLock {
 public:
  FileClientCheckLock(std::string runtimeFolder, std::string fallbackParent);

  bool Acquire() override;
  void Release() override;
  std::optional<CheckTime> LastDecline() override;
  void RecordDecline(CheckTime at) override;

 private:
  UniqueFd OpenLockFile() const;

  std::string runtimeFolder_;
  std::string fallbackParent_;
  UniqueFd file_;
};

// The folder at the absolute `path` when it is a real folder (not a link), owned by this user and
// closed to everybody else; made first (closed to others) when `create` is set and it is missing.
// An invalid descriptor otherwise.
UniqueFd OpenPrivateFolder(const std::string& path, bool create);

// The private folder where the instances of the tools meet: the runtime folder when it is the
// user's own, else "kartiva-<uid>" in `fallbackParent`, made when missing. Invalid when neither
// can be had.
UniqueFd OpenMeetingFolder(const std::string& runtimeFolder, const std::string& fallbackParent);

}  // namespace kartiva::posix
