#pragma once

// The store is its user's alone: what it writes (documents, the journal, the indexes with
// SQLite's files beside them, the counters, the work in flight) is readable by its owner only,
// whatever the umask, and a store made before that rule is brought under it when it is used.

#include <sys/types.h>

#include <filesystem>

namespace kartiva::localstore {

inline constexpr mode_t kPrivateFile = 0600;
inline constexpr mode_t kPrivateFolder = 0700;
// The rights of the group and of others, which nothing of the store keeps.
inline constexpr mode_t kOthersRights = 077;

// Takes every right of the group and of others off `path` (not followed when it is a link), where
// it has any and is the user's own; anything else is left as it is. Never fails: a mode that
// cannot be changed costs no operation.
void KeepPrivate(const std::string& path);

// The store's own folders and files at its root: the baskets and archives folders, whose 0700 keeps
// every document and index of a store made before out of others' reach, the counters, the
// settings and the journal.
void KeepStorePrivate(const std::filesystem::path& root);
// Everything in the store, file by file, as the check that reads the whole store makes it.
void KeepEverythingPrivate(const std::filesystem::path& root);

}  // namespace kartiva::localstore
