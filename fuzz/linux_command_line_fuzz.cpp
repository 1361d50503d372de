// The program's arguments as the file manager hands them over, any bytes at all: they become the
// one command-line string joined by single blanks, every byte kept.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/linux/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Arguments are separated by NUL bytes in the input, as they are in the process's memory.
  std::vector<std::string> arguments{"Mappix"};
  std::string current;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      arguments.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  arguments.push_back(current);

  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const std::string line =
      kartiva::linux_os::JoinArguments(static_cast<int>(arguments.size()), argv.data());

  std::string expected;
  for (std::size_t i = 1; i < arguments.size(); ++i) expected += (i > 1 ? " " : "") + arguments[i];
  if (line != expected) __builtin_trap();
  return 0;
}
