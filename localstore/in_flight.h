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

std::filesystem::path InFlightFolder(const std::filesystem::path& folder);
// Makes the in-flight folder of a basket or archive where it is missing (a store made before it).
[[nodiscard]] ErrorCode MakeInFlightFolder(const std::filesystem::path& folder);

// 128 random bits as 32 lower-case hex digits.
[[nodiscard]] ErrorCode NewIdentity(std::string& identity);
bool IsIdentity(std::string_view text);

std::string ClaimName(const std::string& identity, const std::string& document);
// The identity and document name of a claim's name; false for any other name.
bool SplitClaimName(std::string_view name, std::string& identity, std::string& document);

}  // namespace kartiva::localstore
