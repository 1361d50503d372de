#include "localstore/crash_point.h"

#include <csignal>
#include <cstdlib>
#include <cstring>

#include "linux_base/crash_state.h"

namespace kartiva::localstore {

void CrashPoint(const char* name) {
  const char* wanted = std::getenv("KARTIVA_CRASH_AT");
  if (wanted == nullptr || std::strcmp(wanted, name) != 0) return;
  if (std::getenv("KARTIVA_CRASH_CUT") != nullptr) linux_os::crash_state::LoseWhatWasNotFlushed();
  std::raise(SIGKILL);
}

}  // namespace kartiva::localstore
