#include "platform/posix/client_check_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

#include "posix_base/file_io.h"
#include "posix_base/file_lock.h"

namespace kartiva::posix {
namespace {

constexpr const char* kLockFileName = "kartiva-client-check";
constexpr std::size_t kLongestRecord = 32;

// Whether the open file or folder belongs to this user alone.
bool OwnedByUserAlone(int fd, mode_t kind) {
  struct stat facts {};
  return ::fstat(fd, &facts) == 0 && (facts.st_mode & S_IFMT) == kind &&
         facts.st_uid == ::geteuid() && (facts.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

}  // namespace

UniqueFd OpenPrivateFolder(const std::string& path, bool create) {
  if (path.empty() || path.front() != '/') return {};
  if (create && ::mkdir(path.c_str(), S_IRWXU) != 0 && errno != EEXIST) return {};
  UniqueFd folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (folder.get() < 0 || !OwnedByUserAlone(folder.get(), S_IFDIR)) return {};
  return folder;
}

FileClientCheckLock::FileClientCheckLock(std::string runtimeFolder, std::string fallbackParent)
    : runtimeFolder_(std::move(runtimeFolder)), fallbackParent_(std::move(fallbackParent)) {}

UniqueFd OpenMeetingFolder(const std::string& runtimeFolder, const std::string& fallbackParent) {
  UniqueFd folder = OpenPrivateFolder(runtimeFolder, false);
  if (folder.get() >= 0) return folder;
  return OpenPrivateFolder(fallbackParent + "/kartiva-" + std::to_string(::geteuid()), true);
}

UniqueFd FileClientCheckLock::OpenLockFile() const {
  const UniqueFd folder = OpenMeetingFolder(runtimeFolder_, fallbackParent_);
  if (folder.get() < 0) return {};
  UniqueFd file(::openat(folder.get(), kLockFileName,
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

}  // namespace kartiva::posix
