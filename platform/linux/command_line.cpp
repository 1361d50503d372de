#include "platform/linux/command_line.h"

#include <limits.h>
#include <unistd.h>

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
  // One readlink: a path that fills the buffer may have been cut and is not taken.
  char link[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", link, sizeof link);
  std::error_code error;
  const std::filesystem::path program =
      length > 0 && static_cast<std::size_t>(length) < sizeof link
          ? std::filesystem::path(std::string(link, static_cast<std::size_t>(length)))
          : std::filesystem::absolute(argv0 ? argv0 : "", error);
  return program.parent_path().string();
}

}  // namespace kartiva::linux_os
