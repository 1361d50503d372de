#pragma once

// Runs a built program the way the file manager does (its own process, its own environment) and
// gives back what it wrote; plus a throw-away folder for each test.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace kartiva::testing {

struct ProcessSpec {
  std::string program;
  std::vector<std::string> arguments;
  std::map<std::string, std::string> environment;  // set on top of this process's environment
  std::string input;                               // standard input; end of input after it
  std::filesystem::path inputFrom{};  // standard input from this file (a FIFO) instead of `input`
  long fileSizeLimit = -1;            // bytes any file may grow to, -1 for none
  std::filesystem::path workingFolder{};  // where it starts; empty for this process's
  // How long the forked child stays this program before it starts `program`, as a file manager's
  // fork on a loaded machine may.
  std::chrono::milliseconds startAfter{0};
};

struct ProcessResult {
  int exitStatus = -1;  // -1 when it did not exit normally
  std::string output;
  std::string errors;
};

// Starts the program without waiting for it; its output goes to files in `folder`.
pid_t Start(const ProcessSpec& spec, const std::filesystem::path& folder);
// Waits for a started program (killing it after `seconds`) and collects what it wrote.
ProcessResult Finish(pid_t pid, const std::filesystem::path& folder, int seconds = 30);
ProcessResult RunProcess(const ProcessSpec& spec, const std::filesystem::path& folder);

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& content);
std::vector<std::string> ReadLines(const std::filesystem::path& path);

}  // namespace kartiva::testing
