#include "core/program.h"

#include "core/error.h"

namespace kartiva {

int ReportFailure(Runtime& runtime, const std::string& report) {
  try {
    MsgBox(runtime, {.text = report, .icon = Icon::Critical});
  } catch (...) {
    // The exit status still tells of the failure; the trace says which.
    TraceFailure(runtime.program.title + ": the failure report could not be shown (" +
                 FailureInFlight() + "): " + report);
  }
  return kOutrightFailure;
}

std::optional<std::string> LoadForm(const std::function<void()>& loadForm) {
  try {
    loadForm();
  } catch (const ProgramEnd&) {
  } catch (const OutrightFailure& failure) {
    return "Run-time error '" + RunTimeErrorNumber(failure.code()) + "':\n\n" + failure.what();
  } catch (const std::exception& failure) {
    return std::string("Run-time error:\n\n") + failure.what();
  }
  return std::nullopt;
}

int RunForm(Runtime& runtime, const std::function<void()>& loadForm) {
  if (const std::optional<std::string> report = LoadForm(loadForm)) {
    return ReportFailure(runtime, *report);
  }
  return runtime.failureShown ? kFailureShown : kDone;
}

}  // namespace kartiva
