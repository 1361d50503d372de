#pragma once

namespace kartiva::localstore {

#ifdef KARTIVA_TEST_HOOKS
// Fault injection for the tests that prove a crash loses nothing: when KARTIVA_CRASH_AT names this
// point, the process kills itself here. A kill keeps everything the kernel took, flushed or not;
// with KARTIVA_CRASH_CUT set, what was not flushed is thrown away first, as a power cut would
// (linux_base/crash_state.h).
void CrashPoint(const char* name);
#else
// Without the test hooks (-DKARTIVA_TEST_HOOKS=ON), as in everything that ships, nothing happens.
inline void CrashPoint(const char* /*name*/) {}
#endif

}  // namespace kartiva::localstore
