#include "platform/linux/qt_probe.h"

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
#include <string>

#include "linux_base/unique_fd.h"
#include "platform/qt/gui_module.h"

namespace kartiva::linux_os {
namespace {

constexpr char kShowsWindows = 'y';
constexpr std::size_t kAnswerLimit = 4096;  // the answer and a path

// The child's whole life: it never returns, and leaves the parent's buffers and exit handlers
// alone.
[[noreturn]] void Probe(const std::string& moduleFile, int answer) {
  // Qt's complaints and an abort's core dump are not the user's business here.
  const rlimit noCore{0, 0};
  ::setrlimit(RLIMIT_CORE, &noCore);
  const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) ::dup2(null, fd);
  // The child keeps only its answer: a batch's listening socket or a waiter's link held open by a
  // child that hangs in Qt would keep the other instances waiting for it.
  if (::dup2(answer, 3) == 3) {
    answer = 3;
    ::close_range(4, ~0U, 0);
  }
  void* module = ::dlopen(moduleFile.c_str(), RTLD_NOW | RTLD_LOCAL);
  const auto probe = module != nullptr
                         ? reinterpret_cast<qt::ProbeFunction>(::dlsym(module, qt::kProbeName))
                         : nullptr;
  if (probe != nullptr && probe()) {
    std::string yes(1, kShowsWindows);
    Dl_info qt{};
    void* version = ::dlsym(module, "qVersion");
    if (version != nullptr && ::dladdr(version, &qt) != 0 && qt.dli_fname != nullptr) {
      yes += qt.dli_fname;
    }
    yes += '\0';  // the end: a helper of Qt's that kept the pipe open holds up nothing
    [[maybe_unused]] const ssize_t written =
        ::write(answer, yes.data(), std::min(yes.size(), kAnswerLimit));
  }
  ::_exit(0);
}

// Waits for the child's answer, at most `timeout`: after a yes, the Qt library's file up to a NUL.
std::optional<std::string> Answered(int answer, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::string said;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd ready{answer, POLLIN, 0};
    const int polled = ::poll(&ready, 1, static_cast<int>(std::max<long>(0, left.count())));
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) return std::nullopt;
    char part[512];
    const ssize_t got = ::read(answer, part, sizeof part);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0 || said.size() > kAnswerLimit) return std::nullopt;
    said.append(part, static_cast<std::size_t>(got));
    const std::size_t end = said.find('\0');
    if (end == std::string::npos) continue;
    if (said.front() != kShowsWindows) return std::nullopt;
    return said.substr(1, end - 1);
  }
}

void Reap(pid_t child) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

std::optional<std::string> QtShowsWindows(const std::string& moduleFile,
                                          std::chrono::milliseconds timeout) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return std::nullopt;
  UniqueFd answer(ends[0]);
  UniqueFd write(ends[1]);
  const pid_t child = ::fork();
  if (child < 0) return std::nullopt;
  if (child == 0) Probe(moduleFile, write.get());
  write = UniqueFd();
  std::optional<std::string> shows = Answered(answer.get(), timeout);
  // A child that hangs is ended; one that answered is on its way out.
  if (!shows) ::kill(child, SIGKILL);
  Reap(child);
  return shows;
}

}  // namespace kartiva::linux_os
