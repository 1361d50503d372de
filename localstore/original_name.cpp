#include "localstore/original_name.h"

#include <sys/xattr.h>

#include <memory>

namespace kartiva::localstore {
namespace {

constexpr const char* kAttribute = "user.kartiva.original_name";
constexpr std::size_t kLongestName = 4096;

}  // namespace

void RecordOriginalName(int fd, const std::string& name) {
  // Best-effort: a document without its original name is still the document.
  ::fsetxattr(fd, kAttribute, name.data(), name.size(), 0);
}

std::string OriginalName(int fd, const std::string& otherwise) {
  // Left as it is: the kernel writes only the name, and a buffer filled first would be 4 KiB
  // written on every run for a name of a few dozen bytes.
  const std::unique_ptr<char[]> name = std::make_unique_for_overwrite<char[]>(kLongestName);
  const ssize_t length = ::fgetxattr(fd, kAttribute, name.get(), kLongestName);
  if (length <= 0) return otherwise;
  return {name.get(), static_cast<std::size_t>(length)};
}

}  // namespace kartiva::localstore
