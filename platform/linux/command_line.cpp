#include "platform/linux/command_line.h"

#include <filesystem>
#include <system_error>

namespace kartiva::linux_os {

std::string JoinArguments(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

std::string ProgramFolder(const char* argv0) {
  std::error_code error;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) program = std::filesystem::absolute(argv0 ? argv0 : "", error);
  return program.parent_path().string();
}

}  // namespace kartiva::linux_os
