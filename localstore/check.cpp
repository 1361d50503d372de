#include "localstore/check.h"

#include <string>
#include <string_view>
#include <system_error>

#include "localstore/recovery.h"
#include "localstore/store.h"

namespace kartiva::localstore {
namespace {

namespace fs = std::filesystem;

void ReportLine(std::ostream& report, std::string_view kind, const fs::path& folder,
                const Repairs& done) {
  report << kind << ' ' << folder.filename().string() << ": " << done.finished << " finished, "
         << done.handedBack << " handed back, " << done.rowsAdded << " rows added, "
         << done.rowsRemoved << " rows removed, " << done.removed << " removed, "
         << done.leftForLater << " left for a later run\n";
}

// Checks every folder of one kind; the number of things left for a later run.
int CheckAll(const Store& store, std::string_view kind, std::ostream& report) {
  int left = 0;
  std::error_code error;
  const fs::path folders = store.root() / (std::string(kind) + "s");
  for (fs::directory_iterator entry(folders, error), end; !error && entry != end;
       entry.increment(error)) {
    const fs::path folder = entry->path();
    if (!IsSafeName(folder.filename().string()) || !entry->is_directory(error)) continue;
    Recovery recovery(store);
    if (kind == "archive") {
      recovery.RecoverArchive(folder, true);
    } else {
      recovery.RecoverBasket(folder, true);
    }
    ReportLine(report, kind, folder, recovery.repairs());
    left += recovery.repairs().leftForLater;
  }
  if (error) report << kind << "s: " << error.message() << '\n';
  return left + (error ? 1 : 0);
}

}  // namespace

int CheckStore(const fs::path& root, std::ostream& report) {
  const Store store(root);
  if (!store.IsInitialised()) {
    report << "no store at " << root.string() << '\n';
    return 1;
  }
  // Archives first: a claim in a basket is settled against archives already repaired.
  const int left = CheckAll(store, "archive", report) + CheckAll(store, "basket", report);
  return left == 0 ? 0 : 2;
}

}  // namespace kartiva::localstore
