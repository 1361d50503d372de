#pragma once

#include <filesystem>
#include <string>

#include "core/error.h"
#include "localstore/files.h"

namespace kartiva::localstore {

// A basket document taken out of reach of every other process while it is being stored: renamed
// in one step into its basket's in-flight folder under a new identity and its own name, and locked
// while its claimant lives. A second store of the same document finds nothing to claim; only what
// was claimed is ever deleted.
class Claim {
 public:
  // Claims the document at `document`; kFileNotFound when there is none (any more) to claim.
  [[nodiscard]] ErrorCode Take(const std::filesystem::path& document);
  int fd() const { return fd_.get(); }
  const std::filesystem::path& path() const { return claim_; }
  const std::string& identity() const { return identity_; }
  // The document is filed: the claim goes.
  void Release();
  // The document was not filed: it goes back under its own name.
  void PutBack();

 private:
  UniqueFd fd_;
  std::filesystem::path basket_;
  std::string document_;
  std::string identity_;
  std::filesystem::path claim_;
  // The claim's name locked too, where its lock is another than fd_'s (Take).
  UniqueFd nameLock_;
};

// Gives the claimed document at `claim` back to `basket` as `document`, or under a new number
// should another file have taken that name meanwhile, and removes the claim's name. Never
// replaces anything.
[[nodiscard]] ErrorCode ReturnToBasket(const std::filesystem::path& claim,
                                       const std::filesystem::path& basket,
                                       const std::string& document);

}  // namespace kartiva::localstore
