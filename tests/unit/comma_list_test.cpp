#include "tresolo/comma_list.h"

#include <gtest/gtest.h>

#include <functional>

namespace kartiva {
namespace {

struct ListCase {
  std::string input;
  std::vector<std::string> elements;
};

// A list of `count` names "n0,n1,...".
std::string NameList(int count) {
  std::string list;
  for (int i = 0; i < count; ++i) list += (i == 0 ? "n" : ",n") + std::to_string(i);
  return list;
}

[[nodiscard]] ErrorCode FailureCode(const std::function<void()>& call) {
  try {
    call();
  } catch (const OutrightFailure& failure) {
    return failure.code();
  }
  return 0;
}

TEST(CommaList, CountsAndSplitsAlike) {
  const ListCase cases[] = {
      {"", {}},
      {"A", {"A"}},
      {"A,B", {"A", "B"}},
      {"A,B,", {"A", "B"}},
      {",A", {"", "A"}},
      {"A,,B", {"A", "", "B"}},
      {"A,,", {"A", ""}},
      {",", {""}},
      {",,", {"", ""}},
      {",,,", {"", "", ""}},
      {"A, B", {"A", " B"}},
      {" Rechnungen ;x,Vertr\xC3\xA4ge", {" Rechnungen ;x", "Vertr\xC3\xA4ge"}},
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE("input: " + c.input);
    const std::int32_t count = GetNumberOfElements(c.input);
    EXPECT_EQ(count, static_cast<std::int32_t>(c.elements.size()));
    std::vector<std::string> slots(c.elements.size());
    StoreStringToArray(c.input, slots);
    EXPECT_EQ(slots, c.elements);
  }
}

TEST(CommaList, LeavesSlotsBeyondTheLastElementAlone) {
  std::vector<std::string> slots{"old0", "old1", "old2", "old3"};
  StoreStringToArray("A,,", slots);
  EXPECT_EQ(slots, (std::vector<std::string>{"A", "", "old2", "old3"}));

  StoreStringToArray("", slots);
  EXPECT_EQ(slots, (std::vector<std::string>{"A", "", "old2", "old3"}));
}

TEST(CommaList, SlotTheListLacksIsOutOfRange) {
  std::vector<std::string> slots(1);
  EXPECT_EQ(FailureCode([&] { StoreStringToArray("A,B", slots); }), kErrSubscriptOutOfRange);
  std::vector<std::string> none;
  EXPECT_EQ(FailureCode([&] { StoreStringToArray(",", none); }), kErrSubscriptOutOfRange);
}

TEST(CommaList, Handles32767ElementsAndOverflowsAtThe32768th) {
  const std::string full = NameList(32767);
  EXPECT_EQ(GetNumberOfElements(full), 32767);
  EXPECT_EQ(GetNumberOfElements(full + ","), 32767);
  std::vector<std::string> slots(32767);
  StoreStringToArray(full, slots);
  EXPECT_EQ(slots.front(), "n0");
  EXPECT_EQ(slots.back(), "n32766");

  const std::string over = full + ",n32767";
  EXPECT_EQ(FailureCode([&] { GetNumberOfElements(over); }), kErrOverflow);
  EXPECT_EQ(FailureCode([&] { GetNumberOfElements(std::string(32768, ',')); }), kErrOverflow);
  std::vector<std::string> roomy(40000);
  EXPECT_EQ(FailureCode([&] { StoreStringToArray(over, roomy); }), kErrOverflow);
}

}  // namespace
}  // namespace kartiva
