#pragma once

// Exact integer arithmetic for the shading and the twips: every division rounded there is a
// rational number, so halves are recognised exactly and rounded to even, as the form runtime
// rounds them.

#include <cstdint>

namespace kartiva {

// Integer division rounding towards minus infinity. `denominator` is positive.
constexpr std::int64_t FloorDiv(std::int64_t numerator, std::int64_t denominator) {
  const std::int64_t quotient = numerator / denominator;
  return quotient * denominator > numerator ? quotient - 1 : quotient;
}

// numerator / denominator rounded to the nearest integer, halves to the even neighbour.
// `denominator` is positive.
constexpr std::int64_t RoundHalfEven(std::int64_t numerator, std::int64_t denominator) {
  const std::int64_t floor = FloorDiv(numerator, denominator);
  const std::int64_t twiceRest = 2 * (numerator - floor * denominator);
  if (twiceRest > denominator || (twiceRest == denominator && floor % 2 != 0)) return floor + 1;
  return floor;
}

}  // namespace kartiva
