#pragma once

// The names in a basket or archive folder, and the numbers its documents get.
//
// A document is named by exactly eight digits and ".001". Besides its documents a folder holds the
// hidden folder of the work in flight (in_flight.h); stores made before it kept that work beside
// the documents under hidden names carrying the document's number, which recovery still reads.
// Any other file is foreign: it is neither a document nor counted. The highest number each folder
// handed out is kept apart from its documents, in <root>/.numbers/<baskets or archives>.<name>.

#include <filesystem>
#include <string>
#include <string_view>

#include "core/error.h"
#include "linux_base/atomic_file.h"

namespace kartiva::localstore {

inline constexpr std::string_view kCounterFolder = ".numbers";
inline constexpr std::string_view kClaimPrefix = ".claim-";   // an earlier store's claim
inline constexpr std::string_view kStagedPrefix = ".store-";  // its archive copy before its row
using linux_os::kIncomingPrefix;                              // a copy being written
inline constexpr unsigned long kHighestNumber = 99999999;

// The number of a document name, or 0 for any other name.
unsigned long DocumentNumber(std::string_view name);
// The number in a document name or a hidden name made of a prefix and a document name.
unsigned long NumberIn(std::string_view name);
std::string DocumentName(unsigned long number);

// The file that keeps the highest number a basket or archive folder handed out.
std::string CounterFile(const std::string& folder);

// Makes a new folder count from 1, whatever foreign files it may get later.
[[nodiscard]] ErrorCode StartCounting(const std::string& folder);

// Hands out the next number of `folder`: one that no document of that folder ever had, also when
// many processes ask at once and after documents were removed. kStoreFull when none is left.
[[nodiscard]] ErrorCode NextNumber(const std::string& folder, unsigned long& number);

}  // namespace kartiva::localstore
