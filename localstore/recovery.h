#pragma once

// Repairs what a killed process left in a basket or an archive. Every operation runs it on the
// folders it works in before its own work. What it reads always is the folder's in-flight folder,
// which holds only work on its way; the whole folder is read only when something outside the store
// changed it (or on an explicit check). What a live process is doing is left alone (its files are
// locked while it lives), what cannot be read now (an index locked or damaged, a folder that may
// not be read) is left as it is for a later run, and the only copy of a document is never deleted.

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "core/error.h"
#include "localstore/archive_index.h"

namespace kartiva::localstore {

class Store;

// What a recovery did, for the check's report.
struct Repairs {
  int finished = 0;      // claims whose document an archive holds, removed; copies published
  int handedBack = 0;    // claims given back to their basket
  int rowsAdded = 0;     // archive files that had no row
  int rowsRemoved = 0;   // rows whose file was gone
  int removed = 0;       // dead temporary files and archive copies without a row
  int leftForLater = 0;  // what could not be read now

  bool AnyMade() const { return finished + handedBack + rowsAdded + rowsRemoved + removed > 0; }
};

class Recovery {
 public:
  explicit Recovery(const Store& store) : store_(store) {}

  // The index an operation opened already, so that no index is opened twice.
  void ShareIndex(const std::filesystem::path& archive, ArchiveIndex& index);

  // A claim goes on into the archive that holds its document, or back into the basket. The
  // basket is read in full where it was changed from outside, or when `whole`: claims and
  // temporary files that stores before the in-flight folder left beside the documents.
  void RecoverBasket(const std::filesystem::path& basket, bool whole = false);
  // A staged copy with its row is published, one without goes (its document is still claimed in
  // its basket or was never more than a copy). Read in full where it was changed from outside, or
  // when `whole`: an archive file without a row gets its row and a row without its file goes.
  void RecoverArchive(const std::filesystem::path& archive, bool whole = false);

  const Repairs& repairs() const { return repairs_; }

 private:
  ArchiveIndex* IndexOf(const std::filesystem::path& archive);
  Found AskEveryArchive(
      const std::function<Found(const std::filesystem::path&, ArchiveIndex&)>& holds);
  Found FindClaimed(const std::string& identity, int claim);
  Found FindClaimedByOrigin(const std::string& origin, int claim);
  void Conclude(Found stored, const std::filesystem::path& claim,
                const std::filesystem::path& basket, const std::string& document);
  void SettleClaim(const std::filesystem::path& basket, const std::string& name);
  void SettleOldClaim(const std::filesystem::path& basket, const std::string& name);
  void SettleStaged(const std::filesystem::path& archive, const std::string& identity);
  bool AdoptOldStaged(const std::filesystem::path& archive, ArchiveIndex& index,
                      const std::string& file);
  void ScanBasket(const std::filesystem::path& basket);
  void ScanArchive(const std::filesystem::path& archive);
  void CheckLatestRows(const std::filesystem::path& archive);
  void Reconcile(const std::filesystem::path& archive, ArchiveIndex& index);
  void Count(ErrorCode code, int& done);

  const Store& store_;
  std::map<std::filesystem::path, ArchiveIndex*> indexes_;
  std::map<std::filesystem::path, std::unique_ptr<ArchiveIndex>> opened_;
  Repairs repairs_;
};

}  // namespace kartiva::localstore
