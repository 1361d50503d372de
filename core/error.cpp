#include "core/error.h"

#include <cstdio>
#include <iterator>
#include <string>
#include <string_view>

namespace kartiva {

std::string HexCode(ErrorCode code) {
  // Written by hand: every call the store records shows one, and printf's machinery costs a
  // silent run more than the call itself.
  constexpr std::string_view kDigits = "0123456789ABCDEF";
  auto bits = static_cast<std::uint32_t>(code);
  char digits[8];
  char* first = std::end(digits);
  do {
    *--first = kDigits[bits & 0xF];
    bits >>= 4;
  } while (bits != 0);
  return std::string(first, std::end(digits));
}

std::string RunTimeErrorNumber(ErrorCode code) {
  // The facility of the HRESULTs that carry a run-time error number in their low word.
  constexpr std::uint32_t kControlFacility = 0x800A0000;
  const auto bits = static_cast<std::uint32_t>(code);
  if ((bits & 0xFFFF0000) == kControlFacility) return std::to_string(bits & 0xFFFF);
  if (code >= 0) return std::to_string(code);
  char text[32];
  std::snprintf(text, sizeof text, "%d (%08x)", static_cast<int>(code), bits);
  return text;
}

OutrightFailure::OutrightFailure(ErrorCode code, const std::string& description)
    : std::runtime_error(description), code_(code) {}

void End() { throw ProgramEnd{}; }

void TraceFailure(std::string line) {
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

std::string FailureInFlight() {
  try {
    throw;
  } catch (const std::exception& failure) {
    return failure.what();
  } catch (...) {
    return "a failure of unknown kind";
  }
}

}  // namespace kartiva
