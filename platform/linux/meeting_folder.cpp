#include "platform/linux/meeting_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace kartiva::linux_os {
namespace {

// The user this process runs as, which it never changes.
uid_t ThisUser() {
  static const uid_t user = ::geteuid();
  return user;
}

UniqueFd OpenFolderNoFollow(const std::string& path) {
  return UniqueFd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// The host's name keeps apart the instances of machines that share a home over the network.
std::string HomeMeetingFolder(const std::string& home) {
  if (home.empty() || home.front() != '/') return {};
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return {};
  const std::string cache = home + "/.cache";
  if (::mkdir(cache.c_str(), S_IRWXU) != 0 && errno != EEXIST) return {};
  return cache + "/kartiva-" + host;
}

}  // namespace

bool OwnedByUserAlone(int fd, mode_t kind) {
  struct stat facts {};
  return ::fstat(fd, &facts) == 0 && (facts.st_mode & S_IFMT) == kind &&
         facts.st_uid == ThisUser() && (facts.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

UniqueFd OpenPrivateFolder(const std::string& path, bool create) {
  if (path.empty() || path.front() != '/') return {};
  // Made only when missing: it is there on every run but the first.
  UniqueFd folder = OpenFolderNoFollow(path);
  if (folder.get() < 0 && errno == ENOENT && create) {
    if (::mkdir(path.c_str(), S_IRWXU) != 0 && errno != EEXIST) return {};
    folder = OpenFolderNoFollow(path);
  }
  if (folder.get() < 0 || !OwnedByUserAlone(folder.get(), S_IFDIR)) return {};
  return folder;
}

UniqueFd OpenMeetingFolder(const MeetingPlace& place) {
  UniqueFd folder = OpenPrivateFolder(place.runtimeFolder, false);
  if (folder.get() >= 0) return folder;
  if (!place.sharedParent.empty()) {
    folder = OpenPrivateFolder(place.sharedParent + "/kartiva-" + std::to_string(ThisUser()), true);
    if (folder.get() >= 0) return folder;
  }
  return OpenPrivateFolder(HomeMeetingFolder(place.home), true);
}

int MeetingFolder::Get() {
  if (!folder_) folder_ = OpenMeetingFolder(place_);
  return folder_->get();
}

}  // namespace kartiva::linux_os
