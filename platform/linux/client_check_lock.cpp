#include "platform/linux/client_check_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

#include "linux_base/file_io.h"
#include "linux_base/file_lock.h"

namespace kartiva::linux_os {
namespace {

constexpr const char* kLockFileName = "kartiva-client-check";
constexpr std::size_t kLongestRecord = 32;

// The user this process runs as, which it never changes.
uid_t ThisUser() {
  static const uid_t user = ::geteuid();
  return user;
}

// Whether the open file or folder belongs to this user alone.
bool OwnedByUserAlone(int fd, mode_t kind) {
  struct stat facts {};
  return ::fstat(fd, &facts) == 0 && (facts.st_mode & S_IFMT) == kind &&
         facts.st_uid == ThisUser() && (facts.st_mode & (S_IRWXG | S_IRWXO)) == 0;
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

FileClientCheckLock::FileClientCheckLock(std::shared_ptr<MeetingFolder> folder)
    : folder_(std::move(folder)) {}

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

UniqueFd FileClientCheckLock::OpenLockFile() const {
  const int folder = folder_->Get();
  if (folder < 0) return {};
  UniqueFd file(::openat(folder, KeyedName(folder_->place(), kLockFileName).c_str(),
                         O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                         S_IRUSR | S_IWUSR));
  if (file.get() < 0 || !OwnedByUserAlone(file.get(), S_IFREG)) return {};
  return file;
}

bool FileClientCheckLock::Acquire() {
  file_ = OpenLockFile();
  if (file_.get() < 0) return false;
  if (LockExclusively(file_.get()) != 0) {
    file_ = UniqueFd();
    return false;
  }
  return true;
}

// Closing the file lets the lock go.
void FileClientCheckLock::Release() { file_ = UniqueFd(); }

std::optional<CheckTime> FileClientCheckLock::LastDecline() {
  char record[kLongestRecord];
  std::size_t got = 0;
  if (ReadAt(file_.get(), record, sizeof record, 0, got) != 0 || got == 0) return std::nullopt;
  const char* end = record + got;
  if (end[-1] == '\n') --end;
  CheckTime at = 0;
  const auto [stop, error] = std::from_chars(record, end, at);
  if (error != std::errc() || stop != end) return std::nullopt;
  return at;
}

// A record that cannot be written costs only a second question.
void FileClientCheckLock::RecordDecline(CheckTime at) {
  const std::string record = std::to_string(at) + "\n";
  if (::ftruncate(file_.get(), 0) != 0) return;
  static_cast<void>(WriteAllAt(file_.get(), record.data(), record.size(), 0));
}

}  // namespace kartiva::linux_os
