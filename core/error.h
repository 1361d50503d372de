#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kartiva {

// The code every toolkit operation hands back through its last argument; 0 means success.
using ErrorCode = std::int32_t;

// Codes of the outright failures that the programs raise themselves, numbered as the form
// runtime numbers its run-time errors.
inline constexpr ErrorCode kErrOverflow = 6;
inline constexpr ErrorCode kErrObjectNotSet = 91;
inline constexpr ErrorCode kErrCannotCreateComponent = 429;

// The one code of the local store that a tool tells apart: the document is there under its new
// name, but the disk did not confirm that name; it is not "not stored", and storing it again
// would file it twice.
inline constexpr ErrorCode kErrStoredNotConfirmed = static_cast<ErrorCode>(0x8004500D);

// An error code as the user sees it: uppercase hex digits, no prefix, no leading zeros, a negative
// code as its 32-bit two's complement (-1 is FFFFFFFF).
std::string HexCode(ErrorCode code);

// An outright failure's number as the platform's run-time error report shows it: a run-time error
// number in decimal ("91"), also when it comes wrapped in a control's HRESULT (800A005B); any other
// failed call's HRESULT in decimal and then as eight lowercase hex digits ("-2147221005
// (800401f3)").
std::string RunTimeErrorNumber(ErrorCode code);

// A call that failed as a call instead of returning an error code: the component cannot be created,
// an operation fails, an arithmetic overflow. Nothing catches it but the client check, which
// ignores it, and the program's main, which reports it and ends the program.
class OutrightFailure : public std::runtime_error {
 public:
  OutrightFailure(ErrorCode code, const std::string& description);
  [[nodiscard]] ErrorCode code() const noexcept { return code_; }

 private:
  ErrorCode code_;
};

// Thrown by End() to unwind the whole call stack to main, so that nothing of a caller's remaining
// work runs and every toolkit object is released on the way. Deliberately not an std::exception, so
// that no handler for failures swallows it.
struct ProgramEnd {};

[[noreturn]] void End();

// Leaves the trace of a failure that the program goes on past, or cannot show: one line on
// standard error, where a terminal shows it and a desktop session's log keeps it. `line` says what
// failed, on what, and why; line breaks in it become blanks.
void TraceFailure(std::string line);

// What the exception being handled says of itself; for use inside a catch block.
std::string FailureInFlight();

}  // namespace kartiva
