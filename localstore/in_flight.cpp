#include "localstore/in_flight.h"

#include <sys/random.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "linux_base/file_io.h"
#include "localstore/codes.h"
#include "localstore/files.h"
#include "localstore/numbering.h"

namespace kartiva::localstore {

std::string InFlightFolder(const std::string& folder) { return PathIn(folder, kInFlightFolder); }

std::string InFlightName(const std::string& folder, std::string_view name) {
  return PathIn(InFlightFolder(folder), name);
}

ErrorCode MakeInFlightFolder(const std::string& folder) {
  if (::mkdir(InFlightFolder(folder).c_str(), 0700) == 0 || errno == EEXIST) return 0;
  return CodeForErrno(errno, kIoError);
}

ErrorCode NewIdentity(std::string& identity) {
  unsigned char bytes[kIdentityLength / 2];
  if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) return kIoError;
  static constexpr char kHex[] = "0123456789abcdef";
  identity.clear();
  for (const unsigned char byte : bytes) {
    identity += kHex[byte >> 4];
    identity += kHex[byte & 0xF];
  }
  return 0;
}

bool IsIdentity(std::string_view text) {
  return text.size() == kIdentityLength && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

ErrorCode RenameToIdentityName(const std::filesystem::path& from, const std::filesystem::path& to,
                               const std::filesystem::path& folder) {
  int error = linux_os::RenameNoReplace(from, to);
  if (linux_os::IsMissingCall(error)) {
    if (ErrorCode code = HardLinksWork(folder)) return code;
    error = linux_os::RenameOver(from, to);
  }
  return error == ENOENT ? kFileNotFound : CodeForResult(error);
}

std::string ClaimName(const std::string& identity, const std::string& document) {
  return identity + "." + document;
}

bool SplitClaimName(std::string_view name, std::string& identity, std::string& document) {
  if (name.size() <= kIdentityLength + 1 || name[kIdentityLength] != '.') return false;
  if (!IsIdentity(name.substr(0, kIdentityLength))) return false;
  if (DocumentNumber(name.substr(kIdentityLength + 1)) == 0) return false;
  identity = name.substr(0, kIdentityLength);
  document = name.substr(kIdentityLength + 1);
  return true;
}

}  // namespace kartiva::localstore
