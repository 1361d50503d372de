// The archive list from the toolkit, as any string at all: the count equals the slots written,
// joining the slots with commas gives the input back (less one trailing comma), slots past the
// count stay untouched, and only a list of more than 32767 elements fails, as an overflow.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tresolo/comma_list.h"

namespace {

// The element count worked out independently of the scan.
std::size_t ExpectedCount(const std::string& list) {
  if (list.empty()) return 0;
  std::size_t commas = 0;
  for (const char c : list) commas += c == ',';
  return commas + 1 - (list.back() == ',' ? 1 : 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string list(reinterpret_cast<const char*>(data), size);
  const std::size_t expected = ExpectedCount(list);
  std::int32_t count = -1;
  try {
    count = kartiva::GetNumberOfElements(list);
  } catch (const kartiva::OutrightFailure& failure) {
    if (failure.code() != kartiva::kErrOverflow || expected <= 32767) __builtin_trap();
    return 0;
  }
  if (static_cast<std::size_t>(count) != expected) __builtin_trap();

  const std::string untouched = "\x01untouched";
  std::vector<std::string> slots(static_cast<std::size_t>(count) + 2, untouched);
  kartiva::StoreStringToArray(list, slots);

  std::string joined;
  for (std::int32_t i = 0; i < count; ++i)
    joined += (i ? "," : "") + slots[static_cast<std::size_t>(i)];
  const std::string withoutTrailingComma =
      !list.empty() && list.back() == ',' ? list.substr(0, list.size() - 1) : list;
  if (joined != withoutTrailingComma) __builtin_trap();
  if (slots[slots.size() - 2] != untouched || slots.back() != untouched) __builtin_trap();
  return 0;
}
