#include "localstore/numbering.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "linux_base/file_io.h"
#include "linux_base/file_lock.h"
#include "localstore/codes.h"
#include "localstore/files.h"

namespace kartiva::localstore {
namespace {

constexpr std::size_t kDigits = 8;
constexpr std::string_view kSuffix = ".001";

// The number a counter file holds ("NNNNNNNN\n"); false when it holds anything else.
bool CounterValue(std::string_view text, unsigned long& value) {
  if (text.size() != kDigits + 1 || text.back() != '\n') return false;
  value = 0;
  for (const char c : text.substr(0, kDigits)) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned long>(c - '0');
  }
  return true;
}

// The highest number the folder's names carry: where a folder has no counter yet. 0 or the errno
// of a folder that could not be read to its end.
int HighestNumberIn(const std::string& folder, unsigned long& highest) {
  std::vector<std::string> names;
  if (const int error = linux_os::NamesIn(folder, names)) return error;
  highest = 0;
  for (const std::string& name : names) highest = std::max(highest, NumberIn(name));
  return 0;
}

}  // namespace

unsigned long DocumentNumber(std::string_view name) {
  if (name.size() != kDigits + kSuffix.size() || name.substr(kDigits) != kSuffix) return 0;
  unsigned long number = 0;
  return CounterValue(std::string(name.substr(0, kDigits)) + "\n", number) ? number : 0;
}

namespace {

// Where the counter of `folder` (<store>/<kind>/<name>) is: the store's folder of counters, and
// in it the file "<kind>.<name>". Cut out of the folder's path as a string: every run asks.
struct Counter {
  std::string folder;
  std::string file;
};

Counter CounterOf(std::string_view folder) {
  const std::size_t nameStart = folder.rfind('/') + 1;  // npos + 1: all of it
  const std::string_view kindPath = folder.substr(0, nameStart == 0 ? 0 : nameStart - 1);
  const std::size_t kindStart = kindPath.rfind('/') + 1;
  Counter counter{.folder = PathIn(kindPath.substr(0, kindStart), kCounterFolder), .file = {}};
  counter.file = PathIn(counter.folder, std::string(kindPath.substr(kindStart)) + "." +
                                            std::string(folder.substr(nameStart)));
  return counter;
}

}  // namespace

std::string CounterFile(const std::string& folder) { return CounterOf(folder).file; }

ErrorCode StartCounting(const std::string& folder) {
  const Counter counter = CounterOf(folder);
  if (::mkdir(counter.folder.c_str(), 0700) != 0 && errno != EEXIST) {
    return CodeForErrno(errno, kIoError);
  }
  // Never over a counter that is there: a store started twice at once keeps the numbers it gave.
  UniqueFd fd(
      ::open(counter.file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (fd.get() < 0) return errno == EEXIST ? 0 : CodeForErrno(errno, kIoError);
  const std::string zero = std::string(kDigits, '0') + "\n";
  return CodeForResult(linux_os::WriteAll(fd.get(), zero.data(), zero.size()));
}

unsigned long NumberIn(std::string_view name) {
  for (const std::string_view prefix : {kClaimPrefix, kStagedPrefix}) {
    if (name.substr(0, prefix.size()) == prefix) return DocumentNumber(name.substr(prefix.size()));
  }
  return DocumentNumber(name);
}

std::string DocumentName(unsigned long number) {
  std::string name = std::to_string(number);
  name.insert(0, kDigits - std::min(name.size(), kDigits), '0');
  name.append(kSuffix);
  return name;
}

ErrorCode NextNumber(const std::string& folder, unsigned long& number) {
  const Counter place = CounterOf(folder);
  const auto openCounter = [&] {
    return UniqueFd(
        ::open(place.file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
  };
  // The counters' folder is there on every run but the first of a store that lost it.
  UniqueFd counter = openCounter();
  if (counter.get() < 0 && errno == ENOENT) {
    ::mkdir(place.folder.c_str(), 0700);
    counter = openCounter();
  }
  if (counter.get() < 0) return CodeForErrno(errno, kIoError);
  if (!IsRegularFile(counter.get()) || !linux_os::LockWithin(counter.get(), kLockWait))
    return kIoError;
  char text[kDigits + 2] = {};
  std::size_t got = 0;
  if (const int error = linux_os::ReadAt(counter.get(), text, sizeof text, 0, got))
    return CodeForErrno(error, kIoError);
  unsigned long last = 0;
  if (!CounterValue(std::string_view(text, got), last)) {
    if (const int error = HighestNumberIn(folder, last)) return CodeForErrno(error, kIoError);
  }
  if (last >= kHighestNumber) return kStoreFull;
  const std::string next = DocumentName(last + 1).substr(0, kDigits) + "\n";
  if (const int error = linux_os::WriteAllAt(counter.get(), next.data(), next.size(), 0))
    return CodeForErrno(error, kIoError);
  number = last + 1;
  return 0;
}

}  // namespace kartiva::localstore
