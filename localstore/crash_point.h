#pragma once

namespace kartiva::localstore {

// Fault injection for the tests that prove a crash loses nothing: when KARTIVA_CRASH_AT names this
// point, the process kills itself here, as a power cut or a kill -9 would end it.
void CrashPoint(const char* name);

}  // namespace kartiva::localstore
