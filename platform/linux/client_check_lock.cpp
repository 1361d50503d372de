#include "platform/linux/client_check_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstddef>
#include <string>
#include <utility>

#include "linux_base/file_io.h"
#include "linux_base/file_lock.h"

namespace kartiva::linux_os {
namespace {

constexpr const char* kLockFileName = "kartiva-client-check";
constexpr std::size_t kLongestRecord = 32;

}  // namespace

FileClientCheckLock::FileClientCheckLock(std::shared_ptr<MeetingFolder> folder)
    : folder_(std::move(folder)) {}

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
