#include "localstore/check.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>

#include "localstore/in_flight.h"
#include "localstore/numbering.h"
#include "localstore/private_modes.h"
#include "localstore/recovery.h"
#include "localstore/store.h"

namespace kartiva::localstore {
namespace {

namespace fs = std::filesystem;

std::string Rows(int count) { return std::to_string(count) + (count == 1 ? " row" : " rows"); }

// One line of the report, on the report's own FILE.
void Say(std::FILE* report, const std::string& line) { std::fputs(line.c_str(), report); }

std::string FolderLabel(std::string_view kind, const fs::path& folder) {
  return std::string(kind) + ' ' + folder.filename().string() + ": ";
}

void ReportLine(std::FILE* report, std::string_view kind, const fs::path& folder,
                const Repairs& done) {
  Say(report, FolderLabel(kind, folder) + std::to_string(done.finished) + " finished, " +
                  std::to_string(done.handedBack) + " handed back, " + Rows(done.rowsAdded) +
                  " added, " + Rows(done.rowsRemoved) + " removed, " +
                  std::to_string(done.removed) + " removed, " + std::to_string(done.leftForLater) +
                  " left for a later run\n");
}

// Whether a name in a basket or archive folder is one the store gives: a document, the work in
// flight, the archive's index with SQLite's files beside it, or the work of an earlier store.
bool IsStoreName(std::string_view name) {
  const auto hiddenWork = [&](std::string_view prefix) {
    return name.starts_with(prefix) && NumberIn(name) != 0;
  };
  return DocumentNumber(name) != 0 || name == kInFlightFolder || name == "index.sqlite" ||
         name == "index.sqlite-wal" || name == "index.sqlite-shm" ||
         name == "index.sqlite-journal" || name.starts_with(kIncomingPrefix) ||
         hiddenWork(kClaimPrefix) || hiddenWork(kStagedPrefix);
}

// A name as one line of the report can carry it: control characters as '?'.
std::string Printable(std::string name) {
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return name;
}

// Names what was put into `folder` under a name that no document has, which neither the tools nor
// the check can file; the number of such names.
int ReportUnfiled(std::FILE* report, std::string_view kind, const fs::path& folder) {
  int unfiled = 0;
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    if (IsStoreName(name)) continue;
    Say(report, FolderLabel(kind, folder) + "not filed: " + Printable(name) +
                    " (no document has this name)\n");
    ++unfiled;
  }
  return unfiled + (error ? 1 : 0);
}

// Checks every folder of one kind; the number of things left for a later run or not filed.
int CheckAll(const Store& store, std::string_view kind, std::FILE* report) {
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
    left += recovery.repairs().leftForLater + ReportUnfiled(report, kind, folder);
  }
  if (error) Say(report, std::string(kind) + "s: " + error.message() + '\n');
  return left + (error ? 1 : 0);
}

}  // namespace

int CheckStore(const fs::path& root, std::FILE* report) {
  const Store store(root);
  if (!store.IsInitialised()) {
    Say(report, "no store at " + root.string() + '\n');
    return 1;
  }
  KeepEverythingPrivate(root);
  // Archives first: a claim in a basket is settled against archives already repaired.
  const int unsettled = CheckAll(store, "archive", report) + CheckAll(store, "basket", report);
  return unsettled == 0 ? 0 : 2;
}

}  // namespace kartiva::localstore
