#pragma once

// A user's home with the file managers' places in a throw-away folder, and Menorix's registry on
// Linux over it: the registry file, published to those places after every operation.

#include <filesystem>
#include <string>
#include <vector>

#include "menorix/context_menu.h"
#include "platform/linux/file_manager/file_manager_publisher.h"
#include "platform/linux/file_manager/published_registry.h"
#include "platform/linux/reg_file_registry.h"
#include "tests/support/fakes.h"
#include "tests/support/process.h"

namespace kartiva::testing {

inline const std::string kImportText = "In KV5-Briefkorb importieren";
inline const std::string kStoreText = "In KV5-Archiv ablegen";

struct FileManagerDesk {
  TempFolder temp;
  std::filesystem::path home = temp.path() / "home";
  linux_os::FileManagerPlaces places{.nautilusScripts = home / "nautilus",
                                     .cajaScripts = home / "caja",
                                     .nemoActions = home / "nemo",
                                     .dolphinMenus = home / "kio",
                                     .thunarActions = home / "Thunar" / "uca.xml",
                                     .fileManagerActions = home / "file-manager"};
  linux_os::RegFileRegistry regFile{home / "classes.reg"};
  linux_os::FileManagerPublisher publisher{places};
  linux_os::PublishedRegistry registry{regFile, publisher, home / "classes.reg.lock"};

  // Runs "Aktivieren" (or "Deaktivieren") of the configurator started from `folder`; the boxes it
  // showed.
  std::vector<MsgBoxRequest> Click(bool append, const std::string& folder) {
    Rig rig("", "Menorix");
    rig.facts.folder = [folder] { return folder; };
    ContextMenu menu({registry, registry, registry}, rig.runtime, [] {});
    RunToEnd([&] { append ? menu.cmdAppend_Click() : menu.cmdDelete_Click(); });
    return rig.ui.boxes;
  }
};

}  // namespace kartiva::testing
