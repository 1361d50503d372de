#pragma once

#include <string>

namespace kartiva::linux_os {

// The program's arguments as the one command-line string the tools take: joined by single blanks,
// otherwise unchanged.
std::string JoinArguments(int argc, char** argv);

// The folder of the running program file.
std::string ProgramFolder(const char* argv0);

}  // namespace kartiva::linux_os
