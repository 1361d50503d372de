#include "localstore/original_name.h"

#include <sys/xattr.h>

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
  std::string name(kLongestName, '\0');
  const ssize_t length = ::fgetxattr(fd, kAttribute, name.data(), name.size());
  if (length <= 0) return otherwise;
  name.resize(static_cast<std::size_t>(length));
  return name;
}

}  // namespace kartiva::localstore
