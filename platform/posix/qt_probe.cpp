#include "platform/posix/qt_probe.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/posix/base/unique_fd.h"
#include "platform/qt/gui_module.h"

namespace kartiva::posix {
namespace {

constexpr char kShowsWindows = 'y';

// The child's whole life: it never returns, and leaves the parent's buffers and exit handlers
// alone.
[[noreturn]] void Probe(const std::string& moduleFile, int answer) {
  // Qt's complaints and an abort's core dump are not the user's business here.
  const rlimit noCore{0, 0};
  ::setrlimit(RLIMIT_CORE, &noCore);
  const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) ::dup2(null, fd);
  void* module = ::dlopen(moduleFile.c_str(), RTLD_NOW | RTLD_LOCAL);
  const auto probe = module != nullptr
                         ? reinterpret_cast<qt::ProbeFunction>(::dlsym(module, qt::kProbeName))
                         : nullptr;
  if (probe != nullptr && probe()) {
    const char yes = kShowsWindows;
    [[maybe_unused]] const ssize_t written = ::write(answer, &yes, 1);
  }
  ::_exit(0);
}

// Waits for the child's one byte, at most `timeout`.
bool Answered(int answer, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd ready{answer, POLLIN, 0};
    const int polled = ::poll(&ready, 1, static_cast<int>(std::max<long>(0, left.count())));
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) return false;
    char byte = 0;
    const ssize_t got = ::read(answer, &byte, 1);
    if (got < 0 && errno == EINTR) continue;
    return got == 1 && byte == kShowsWindows;
  }
}

void Reap(pid_t child) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

bool QtShowsWindows(const std::string& moduleFile, std::chrono::milliseconds timeout) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return false;
  UniqueFd answer(ends[0]);
  UniqueFd write(ends[1]);
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) Probe(moduleFile, write.get());
  write = UniqueFd();
  const bool shows = Answered(answer.get(), timeout);
  // A child that hangs is ended; one that answered is on its way out.
  if (!shows) ::kill(child, SIGKILL);
  Reap(child);
  return shows;
}

}  // namespace kartiva::posix
