#include <gtest/gtest.h>

#include <climits>
#include <utility>

#include "core/error.h"

namespace kartiva::testing {
namespace {

TEST(HexCode, WritesUppercaseWithoutPrefixAndNegativesAsTwosComplement) {
  const std::pair<ErrorCode, const char*> cases[] = {
      {0, "0"},
      {9, "9"},
      {255, "FF"},
      {0x1AD, "1AD"},
      {-1, "FFFFFFFF"},
      {INT_MIN, "80000000"},
      {INT_MAX, "7FFFFFFF"},
      {static_cast<ErrorCode>(0x80045001), "80045001"}};
  for (const auto& [code, text] : cases) EXPECT_EQ(HexCode(code), text) << code;
}

TEST(RunTimeErrorNumber, ShowsErrorNumbersInDecimalAndOtherHresultsAlsoInHex) {
  const std::pair<ErrorCode, const char*> cases[] = {
      {kErrObjectNotSet, "91"},
      {kErrOverflow, "6"},
      {kErrCannotCreateComponent, "429"},
      {static_cast<ErrorCode>(0x800A005B), "91"},  // a run-time error wrapped in an HRESULT
      {static_cast<ErrorCode>(0x800401F3), "-2147221005 (800401f3)"},
      {static_cast<ErrorCode>(0x80045005), "-2147201019 (80045005)"},
      {static_cast<ErrorCode>(0x800B0001), "-2146762751 (800b0001)"},  // a neighbouring facility
      {INT_MIN, "-2147483648 (80000000)"},
      {-1, "-1 (ffffffff)"}};
  for (const auto& [code, text] : cases) EXPECT_EQ(RunTimeErrorNumber(code), text) << code;
}

}  // namespace
}  // namespace kartiva::testing
