#include "platform/linux/meeting_key.h"

#include <filesystem>
#include <system_error>

#include "core/text.h"
#include "linux_base/environment.h"
#include "linux_base/xdg_folders.h"
#include "localstore/store.h"

namespace kartiva::linux_os {
namespace {

// The store's root as an absolute path: a relative KARTIVA_HOME is read in the working folder.
std::string StoreRoot() {
  std::error_code error;
  const std::filesystem::path root = std::filesystem::absolute(localstore::DefaultRoot(), error);
  return (error ? localstore::DefaultRoot() : root).lexically_normal().string();
}

}  // namespace

MeetingPlace ThisProcessesMeetingPlace() {
  // NUL cannot occur in a path or a variable's value: it keeps the parts apart.
  std::string parts = StoreRoot();
  for (const char* name : {"KARTIVA_UI", "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = NonEmptyVariable(name);
    parts.append(1, '\0').append(value != nullptr ? value : "");
  }
  return {.runtimeFolder = RuntimeFolder().string(),
          .sharedParent = "/tmp",
          .home = HomeFolder().string(),
          .key = TextId(parts)};
}

std::string KeyedName(const MeetingPlace& place, const std::string& base) {
  return place.key.empty() ? base : base + "-" + place.key;
}

}  // namespace kartiva::linux_os
