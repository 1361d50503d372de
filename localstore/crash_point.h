#pragma once

namespace kartiva::localstore {

#ifdef KARTIVA_TEST_HOOKS
// Fault injection for the tests that prove a crash loses nothing: when KARTIVA_CRASH_AT names this
// point, the process kills itself here, as a power cut or a kill -9 would end it.
void CrashPoint(const char* name);
#else
// Without the test hooks (-DKARTIVA_TEST_HOOKS=ON), as in everything that ships, nothing happens.
inline void CrashPoint(const char* /*name*/) {}
#endif

}  // namespace kartiva::localstore
