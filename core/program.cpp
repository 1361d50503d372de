#include "core/program.h"

#include "core/error.h"

namespace kartiva {
namespace {

[[nodiscard]] int Report(Runtime& runtime, const std::string& text) {
  try {
    MsgBox(runtime, {.text = text, .icon = Icon::Critical});
  } catch (...) {
    // The report itself could not be shown; the exit status still tells of the failure.
  }
  return kOutrightFailure;
}

}  // namespace

int RunForm(Runtime& runtime, const std::function<void()>& loadForm) {
  try {
    loadForm();
  } catch (const ProgramEnd&) {
  } catch (const OutrightFailure& failure) {
    return Report(runtime, "Run-time error '" + RunTimeErrorNumber(failure.code()) + "':\n\n" +
                               failure.what());
  } catch (const std::exception& failure) {
    return Report(runtime, std::string("Run-time error:\n\n") + failure.what());
  }
  return runtime.failureShown ? kFailureShown : kDone;
}

}  // namespace kartiva
