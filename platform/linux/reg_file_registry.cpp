#include "platform/linux/reg_file_registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "linux_base/atomic_file.h"
#include "linux_base/environment.h"
#include "linux_base/file_io.h"
#include "linux_base/file_lock.h"
#include "linux_base/unique_fd.h"
#include "linux_base/xdg_folders.h"
#include "menorix/reg_text.h"
#include "platform/linux/errno_result.h"

namespace kartiva::linux_os {
namespace {

// Symbolic links followed to the registry file, as many as the kernel follows in a path.
constexpr int kMaxLinks = 40;

}  // namespace

RegFileRegistry::RegFileRegistry(const std::filesystem::path& file, std::FILE* report)
    : file_(std::filesystem::absolute(file)), report_(report) {}

RegResult RegFileRegistry::Read(const Reader& read) {
  problem_.clear();
  if (RegResult result = FindTarget()) return result;
  // A reader needs no lock: the file is only ever replaced whole.
  KeyTree tree;
  if (RegResult result = Load(tree)) return result;
  return read(tree);
}

RegResult RegFileRegistry::Change(const Changer& change) {
  problem_.clear();
  if (RegResult result = FindTarget()) return result;
  std::error_code error;
  std::filesystem::create_directories(target_.parent_path(), error);
  if (error) return FailWithErrno(error.value(), "cannot create its folder");

  // The lock lives in a file of its own, because the registry file is replaced by a rename.
  const std::string lockFile = target_.string() + ".lock";
  UniqueFd lock(
      ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
  if (lock.get() < 0) return FailWithErrno(errno, "cannot open its lock file");
  if (int error = LockExclusively(lock.get()))
    return FailWithErrno(error, "cannot lock its lock file");

  KeyTree tree;
  if (RegResult result = Load(tree)) return result;
  const unsigned long loaded = tree.revision();
  if (RegResult result = change(tree)) return result;
  return tree.revision() == loaded ? kErrorSuccess : Save(tree);
}

RegResult RegFileRegistry::FindTarget() {
  std::filesystem::path path = file_;
  for (int links = 0; links <= kMaxLinks; ++links) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
      if (errno != ENOENT) return FailWithErrno(errno, "cannot look at it");
      target_ = path;  // a registry file that was never written
      targetMode_ = 0;
      return kErrorSuccess;
    }
    if (S_ISREG(info.st_mode)) {
      target_ = path;
      targetMode_ = info.st_mode;
      return kErrorSuccess;
    }
    // Devices, pipes and folders are never opened: opening some of them has effects of its own.
    if (!S_ISLNK(info.st_mode)) return Fail(kErrorAccessDenied, NotRegular(path));
    std::error_code error;
    const std::filesystem::path link = std::filesystem::read_symlink(path, error);
    if (error) return FailWithErrno(error.value(), "cannot read its symbolic link");
    path = path.parent_path() / link;  // an absolute link replaces the folder
  }
  return Fail(kErrorAccessDenied, "more than " + std::to_string(kMaxLinks) + " symbolic links");
}

std::string RegFileRegistry::NotRegular(const std::filesystem::path& path) const {
  return path == file_ ? "not a regular file, so left alone"
                       : "its link leads to " + path.string() + ", which is not a regular file";
}

RegResult RegFileRegistry::Load(KeyTree& tree) {
  UniqueFd file(::open(target_.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) {
    // A registry file that was never written holds no keys.
    return errno == ENOENT ? kErrorSuccess : FailWithErrno(errno, "cannot open it");
  }
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) return FailWithErrno(errno, "cannot look at it");
  if (!S_ISREG(info.st_mode)) return Fail(kErrorAccessDenied, NotRegular(target_));
  // One byte more than a registry file may hold is enough to refuse it.
  std::string text;
  if (int error = ReadUpTo(file.get(), kMaxRegTextBytes, text))
    return FailWithErrno(error, "cannot read it");
  std::string why;
  if (!ParseRegText(text, tree, why)) return Fail(kErrorRegistryCorrupt, why);
  return kErrorSuccess;
}

RegResult RegFileRegistry::Save(const KeyTree& tree) {
  // Root may write any file, so the permission bits themselves say that it is to stay as it is.
  const bool readOnly =
      targetMode_ != 0 && (::access(target_.c_str(), W_OK) != 0 || (targetMode_ & 0222) == 0);
  if (readOnly) return Fail(kErrorAccessDenied, "read-only, so left as it is");
  // The new file replaces the old one with the permissions the user gave it, less any of the
  // group's and others': what is registered is the user's alone.
  const mode_t mode = targetMode_ != 0 ? targetMode_ & 07700 : S_IRUSR | S_IWUSR;
  int unconfirmed = 0;
  if (int error = ReplaceFileAtomically(target_, FormatRegText(tree), mode, &unconfirmed)) {
    return Fail(RegResultForErrno(error), "cannot write it");
  }
  // The record is written and stands: the change is done, and only its flush is in doubt.
  if (unconfirmed != 0 && report_ != nullptr) {
    std::fprintf(report_, "%s: written, but the disk did not confirm it: %s\n",
                 file_.string().c_str(), std::generic_category().message(unconfirmed).c_str());
  }
  return kErrorSuccess;
}

RegResult RegFileRegistry::FailWithErrno(int error, std::string_view what) {
  return Fail(RegResultForErrno(error),
              std::string(what) + ": " + std::generic_category().message(error));
}

RegResult RegFileRegistry::Fail(RegResult code, const std::string& what) {
  problem_ = file_.string() + ": " + what;
  if (report_ != nullptr) std::fprintf(report_, "%s\n", problem_.c_str());
  return code;
}

std::filesystem::path DefaultRegistryFile() {
  if (const char* file = NonEmptyVariable("KARTIVA_REGISTRY")) return file;
  return ConfigHome() / "kartiva" / "classes.reg";
}

}  // namespace kartiva::linux_os
