#pragma once

// The store tool receives the archive names from the toolkit as one comma-separated string and
// needs them one by one. Both routines run the same scan, so the count always equals the number of
// slots that the split writes.
//
// Only the comma separates; there is no quoting, escaping or trimming, and elements may be empty.
// A comma at the very end adds no empty element. The element counter is 16 bits wide as in the
// form runtime: a list of 32767 elements is handled, a 32768th element is an overflow failure.

#include <cstdint>
#include <string>
#include <vector>

#include "core/error.h"

namespace kartiva {

// The form runtime's number for a list slot that does not exist.
inline constexpr ErrorCode kErrSubscriptOutOfRange = 9;

// The number of elements in sSource; 0 for the empty string.
std::int32_t GetNumberOfElements(const std::string& sSource);

// Writes element k of sSource into aList[k]. The caller sizes aList first (from
// GetNumberOfElements); slots beyond the last element keep what they hold, and an element whose
// slot aList lacks is an out-of-range failure.
void StoreStringToArray(const std::string& sSource, std::vector<std::string>& aList);

}  // namespace kartiva
