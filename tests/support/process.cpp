#include "tests/support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace kartiva::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Environment(const std::map<std::string, std::string>& overrides) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    // The programs under test run without a display, as a silent run on a server would.
    if (!overrides.count(name) && name != "DISPLAY" && name != "WAYLAND_DISPLAY") {
      entries.push_back(text);
    }
  }
  for (const auto& [name, value] : overrides) entries.push_back(name + "=" + value);
  return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

void Redirect(const fs::path& path, int flags, int target) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0 || ::dup2(fd, target) < 0) ::_exit(126);
}

}  // namespace

pid_t Start(const ProcessSpec& spec, const fs::path& folder) {
  const fs::path input = spec.inputFrom.empty() ? folder / "stdin" : spec.inputFrom;
  if (spec.inputFrom.empty()) WriteFile(input, spec.input);
  // Emptied before the child exists, so that a caller watching them never reads an earlier run's.
  WriteFile(folder / "stdout", "");
  WriteFile(folder / "stderr", "");
  std::vector<std::string> argumentTexts{spec.program};
  argumentTexts.insert(argumentTexts.end(), spec.arguments.begin(), spec.arguments.end());
  std::vector<std::string> environmentTexts = Environment(spec.environment);
  std::vector<char*> argv = Pointers(argumentTexts);
  std::vector<char*> envp = Pointers(environmentTexts);

  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    Redirect(input, O_RDONLY, 0);
    Redirect(folder / "stdout", O_WRONLY | O_CREAT | O_TRUNC, 1);
    Redirect(folder / "stderr", O_WRONLY | O_CREAT | O_TRUNC, 2);
    if (!spec.workingFolder.empty() && ::chdir(spec.workingFolder.c_str()) != 0) ::_exit(126);
    if (spec.fileSizeLimit >= 0) {
      // A full disk, as a write past the limit fails with EFBIG instead of killing the program.
      ::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{static_cast<rlim_t>(spec.fileSizeLimit),
                         static_cast<rlim_t>(spec.fileSizeLimit)};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (spec.startAfter.count() > 0) {
      const timespec pause{static_cast<time_t>(spec.startAfter.count() / 1000),
                           static_cast<long>(spec.startAfter.count() % 1000) * 1'000'000};
      ::nanosleep(&pause, nullptr);
    }
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  return pid;
}

ProcessResult Finish(pid_t pid, const fs::path& folder, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(folder / "stdout"),
          ReadFile(folder / "stderr")};
}

ProcessResult RunProcess(const ProcessSpec& spec, const fs::path& folder) {
  return Finish(Start(spec, folder), folder);
}

TempFolder::TempFolder() {
  std::string pattern = (fs::temp_directory_path() / "kartiva-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteFile(const fs::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<std::string> ReadLines(const fs::path& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace kartiva::testing
