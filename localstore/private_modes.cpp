#include "localstore/private_modes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kartiva::localstore {
namespace {

bool NeedsTightening(const struct stat& info) {
  return (info.st_mode & kOthersRights) != 0 && info.st_uid == ::geteuid();
}

}  // namespace

void KeepPrivate(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !NeedsTightening(info)) return;
  if (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) {
    // A mode that cannot be tightened leaves the file as it was: it is still the store's.
    [[maybe_unused]] const int tightened =
        ::fchmodat(AT_FDCWD, path.c_str(), info.st_mode & 07700, 0);
  }
}

void KeepEverythingPrivate(const std::filesystem::path& root) {
  KeepStorePrivate(root);
  std::error_code error;
  for (std::filesystem::recursive_directory_iterator
           entry(root, std::filesystem::directory_options::skip_permission_denied, error),
       end;
       !error && entry != end; entry.increment(error)) {
    KeepPrivate(entry->path());
  }
}

void KeepStorePrivate(const std::filesystem::path& root) {
  for (const char* name : {"baskets", "archives", ".numbers", "kartiva.ini", "journal.log"}) {
    KeepPrivate(root / name);
  }
}

}  // namespace kartiva::localstore
