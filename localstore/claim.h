#pragma once

#include <filesystem>

#include "core/error.h"
#include "localstore/files.h"

namespace kartiva::localstore {

// A basket document taken out of reach of every other process while it is being stored: renamed
// in one step to a hidden claim name in its basket and locked while its claimant lives. A second
// store of the same document finds nothing to claim; only what was claimed is ever deleted.
class Claim {
 public:
  // Claims the document at `document`; kFileNotFound when there is none (any more) to claim.
  [[nodiscard]] ErrorCode Take(const std::filesystem::path& document);
  int fd() const { return fd_.get(); }
  const std::filesystem::path& path() const { return claim_; }
  // The document is filed: the claim goes.
  void Release();
  // The document was not filed: it goes back under its own name.
  void PutBack();

 private:
  UniqueFd fd_;
  std::filesystem::path document_;
  std::filesystem::path claim_;
};

// Gives a claimed document back to its basket under its own number, or under a new one should a
// foreign file have taken that name meanwhile, and removes the claim name.
[[nodiscard]] ErrorCode ReturnToBasket(const std::filesystem::path& claim);

// Whether `fd` is open on the file that `path` names now (not a file renamed over it).
bool StillNamedBy(int fd, const std::filesystem::path& path);

}  // namespace kartiva::localstore
