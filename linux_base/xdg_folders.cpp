#include "linux_base/xdg_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "linux_base/environment.h"

namespace kartiva::linux_os {
namespace {

// The variable's value when it names an absolute folder: a relative one is to be ignored.
const char* AbsoluteFolderVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] == '/' ? value : nullptr;
}

}  // namespace

std::filesystem::path HomeFolder() {
  if (const char* home = NonEmptyVariable("HOME")) return home;
  const passwd* user = ::getpwuid(::getuid());
  return user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "";
}

std::filesystem::path DataHome() {
  if (const char* folder = AbsoluteFolderVariable("XDG_DATA_HOME")) return folder;
  return HomeFolder() / ".local" / "share";
}

std::filesystem::path ConfigHome() {
  if (const char* folder = AbsoluteFolderVariable("XDG_CONFIG_HOME")) return folder;
  return HomeFolder() / ".config";
}

std::filesystem::path RuntimeFolder() {
  const char* folder = AbsoluteFolderVariable("XDG_RUNTIME_DIR");
  return folder != nullptr ? folder : "";
}

}  // namespace kartiva::linux_os
