#include "core/error.h"

#include <cstdio>

namespace kartiva {

std::string HexCode(ErrorCode code) {
  char digits[9];
  std::snprintf(digits, sizeof digits, "%X", static_cast<std::uint32_t>(code));
  return digits;
}

OutrightFailure::OutrightFailure(ErrorCode code, const std::string& description)
    : std::runtime_error(description), code_(code) {}

void End() { throw ProgramEnd{}; }

}  // namespace kartiva
