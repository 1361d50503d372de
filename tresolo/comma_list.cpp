#include "tresolo/comma_list.h"

#include <string_view>

namespace kartiva {
namespace {

// Walks sSource once from front to back and hands each element with its index to onElement; returns
// the number of elements. Each element is finished (handed over) before the counter moves on, so a
// 32768th element is handed over and then overflows the counter.
template <typename OnElement>
std::int16_t ScanCommaList(std::string_view sSource, OnElement onElement) {
  std::int16_t counter = 0;
  std::size_t at = 0;
  while (at < sSource.size()) {
    const std::size_t comma = sSource.find(',', at);
    const std::size_t end = comma == std::string_view::npos ? sSource.size() : comma;
    onElement(counter, sSource.substr(at, end - at));
    at = comma == std::string_view::npos ? end : comma + 1;
    if (counter == INT16_MAX) {
      throw OutrightFailure(kErrOverflow,
                            "Overflow: the list holds more than 32767 comma-separated elements");
    }
    ++counter;
  }
  return counter;
}

}  // namespace

std::int32_t GetNumberOfElements(const std::string& sSource) {
  return ScanCommaList(sSource, [](std::int16_t, std::string_view) {});
}

void StoreStringToArray(const std::string& sSource, std::vector<std::string>& aList) {
  ScanCommaList(sSource, [&aList](std::int16_t index, std::string_view element) {
    const auto slot = static_cast<std::size_t>(index);
    if (slot >= aList.size()) {
      throw OutrightFailure(kErrSubscriptOutOfRange,
                            "Subscript out of range: the list has no slot " + std::to_string(slot));
    }
    aList[slot].assign(element);
  });
}

}  // namespace kartiva
