#pragma once

// Work in flight: every basket and archive folder has a hidden folder of its own, ".inflight",
// for the files of operations on their way (a claimed basket document, an archive copy before it
// is published, a copy being written). Recovery finds them there without listing the store.
//
// Each operation takes a random identity that no later document can share, and names its files
// with it: "<identity>.<document name>" for a claim (so that it can go back under its number) and
// "<identity>" for an archive copy before its publication. The archive row carries it too.

#include <filesystem>
#include <string>
#include <string_view>

#include "core/error.h"

namespace kartiva::localstore {

inline constexpr std::string_view kInFlightFolder = ".inflight";
inline constexpr std::size_t kIdentityLength = 32;

std::string InFlightFolder(const std::string& folder);
// The name `name` in the in-flight folder of `folder`.
std::string InFlightName(const std::string& folder, std::string_view name);
// Makes the in-flight folder of a basket or archive where it is missing (a store made before it).
[[nodiscard]] ErrorCode MakeInFlightFolder(const std::string& folder);

// 128 random bits as 32 lower-case hex digits.
[[nodiscard]] ErrorCode NewIdentity(std::string& identity);
bool IsIdentity(std::string_view text);

// Renames `from` to `to`, a name in the in-flight folder of `folder` that carries a new identity,
// which nothing else can bear: with RENAME_NOREPLACE, and where the file system lacks it (NFS,
// FUSE), with a plain rename, which as well takes the old name away in one step, so that a second
// mover finds nothing to move. On FUSE a lock taken through the old name stays with the file
// under the new one, which a hard link and an unlink would not give: each name has its own lock
// there. The plain rename is made only where `folder` can make hard links, so that a claim can
// always go back (ReturnToBasket). kFileNotFound when `from` is gone.
[[nodiscard]] ErrorCode RenameToIdentityName(const std::filesystem::path& from,
                                             const std::filesystem::path& to,
                                             const std::filesystem::path& folder);

std::string ClaimName(const std::string& identity, const std::string& document);
// The identity and document name of a claim's name; false for any other name.
bool SplitClaimName(std::string_view name, std::string& identity, std::string& document);

}  // namespace kartiva::localstore
