#include "platform/linux/instances_on_their_way.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "linux_base/file_io.h"
#include "linux_base/unique_fd.h"
#include "platform/linux/meeting_key.h"

namespace kartiva::linux_os {
namespace {

// A process's environment can be as large as its arguments; more than this is not read.
constexpr std::size_t kLongestEnvironment = std::size_t{1} << 20;
constexpr std::size_t kLongestCommandLine = 4096;
// The flag in a process's state that marks one of the kernel's own threads.
constexpr unsigned long kKernelThreadFlag = 0x00200000;  // PF_KTHREAD
// kthreadd, the parent of the kernel's threads, where the process numbers are the kernel's own.
constexpr pid_t kKernelThreadParent = 2;

struct FileId {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileId&) const = default;
};

std::optional<FileId> FileIdAt(int folder, const char* name) {
  struct stat facts {};
  if (::fstatat(folder, name, &facts, 0) != 0) return std::nullopt;
  return FileId{facts.st_dev, facts.st_ino};
}

std::string ReadAt(int folder, const char* name, std::size_t limit) {
  const UniqueFd file(::openat(folder, name, O_RDONLY | O_CLOEXEC));
  std::string content;
  if (file.get() < 0 || ReadUpTo(file.get(), limit, content) != 0) return {};
  return content;
}

// What one read of a file of /proc gives, up to a page: all of a process's state, and as much of
// kthreadd's list of children as the kernel puts in one piece. A second read would only tell the
// end, and for the list the kernel walks the children again to find it (20 µs).
std::string ReadOnce(int folder, const char* name) {
  const UniqueFd file(::openat(folder, name, O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) return {};
  char page[4096];
  ssize_t got = 0;
  do {
    got = ::read(file.get(), page, sizeof page);
  } while (got < 0 && errno == EINTR);
  return got > 0 ? std::string(page, static_cast<std::size_t>(got)) : std::string();
}

// What /proc/<pid>/stat says of a process that matters here.
struct ProcessState {
  char state = '?';
  pid_t parent = 0;
  unsigned long flags = 0;
  std::chrono::milliseconds age{};
};

std::chrono::milliseconds SinceBoot() {
  timespec now{};
  ::clock_gettime(CLOCK_BOOTTIME, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::duration_cast<std::chrono::milliseconds>(
                                                std::chrono::nanoseconds(now.tv_nsec));
}

// The fields after the command's name, which may itself hold blanks and parentheses.
std::optional<ProcessState> StateAt(int process, const char* name = "stat") {
  const std::string stat = ReadOnce(process, name);
  const std::size_t nameEnd = stat.rfind(')');
  if (nameEnd == std::string::npos) return std::nullopt;
  // Fields 3 (state), 4 (parent), 9 (flags) and 22 (start, in clock ticks after boot) of
  // proc(5); the later ones are not split off.
  constexpr std::size_t kState = 0, kParent = 1, kFlags = 6, kStart = 19;
  std::array<std::string_view, kStart + 1> fields;
  std::string_view rest = std::string_view(stat).substr(nameEnd + 1);
  for (std::string_view& field : fields) {
    const std::size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) return std::nullopt;
    rest.remove_prefix(start);
    field = rest.substr(0, rest.find(' '));
    rest.remove_prefix(field.size());
  }
  ProcessState result{.state = fields[kState].front()};  // a field is never empty
  unsigned long long startTicks = 0;
  const auto number = [](std::string_view text, auto& value) {
    return std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc();
  };
  if (!number(fields[kParent], result.parent) || !number(fields[kFlags], result.flags) ||
      !number(fields[kStart], startTicks)) {
    return std::nullopt;
  }
  const auto ticksPerSecond = static_cast<unsigned long long>(::sysconf(_SC_CLK_TCK));
  result.age = SinceBoot() - std::chrono::milliseconds(startTicks * 1000 / ticksPerSecond);
  return result;
}

// The values of the meeting variables in a NUL-separated environment, "" for one not set.
using MeetingValues = std::array<std::string, kMeetingVariables.size()>;

MeetingValues ValuesIn(std::string_view environment) {
  MeetingValues values;
  while (!environment.empty()) {
    const std::string_view entry = environment.substr(0, environment.find('\0'));
    environment.remove_prefix(std::min(environment.size(), entry.size() + 1));
    const std::size_t equals = entry.find('=');
    for (std::size_t i = 0; i < kMeetingVariables.size(); ++i) {
      if (entry.substr(0, equals) == kMeetingVariables[i]) values[i] = entry.substr(equals + 1);
    }
  }
  return values;
}

MeetingValues OwnValues() {
  MeetingValues values;
  for (std::size_t i = 0; i < kMeetingVariables.size(); ++i) {
    const char* value = std::getenv(std::string(kMeetingVariables[i]).c_str());
    values[i] = value != nullptr ? value : "";
  }
  return values;
}

// Whether the command line holds more than the program's name: one without a path meets nobody.
bool HasArgument(int process) {
  const std::string commandLine = ReadAt(process, "cmdline", kLongestCommandLine);
  const std::size_t nameEnd = commandLine.find('\0');
  return nameEnd != std::string::npos && nameEnd + 1 < commandLine.size();
}

// What this process knows of itself and its parent, to tell its fellows by.
struct Self {
  pid_t pid = ::getpid();
  pid_t parent = ::getppid();
  uid_t user = ::geteuid();
  std::optional<FileId> program = FileIdAt(AT_FDCWD, "/proc/self/exe");
  std::optional<FileId> parentProgram =
      FileIdAt(AT_FDCWD, ("/proc/" + std::to_string(parent) + "/exe").c_str());
  MeetingValues values = OwnValues();
};

// The program of a process that may be one on its way, by what is cheap to learn of it in /proc
// (its program, which only its owner may see unless this is root, and then its owner): this
// program, the parent, or a process that runs the parent's program. Most processes of a desktop
// are none of these, and their state is never read.
std::optional<FileId> ProgramOfOneMaybeOnItsWay(const Self& self, int processes, const char* name,
                                                pid_t pid) {
  const std::optional<FileId> program = FileIdAt(processes, (std::string(name) + "/exe").c_str());
  if (!program ||
      (program != self.program && pid != self.parent && program != self.parentProgram)) {
    return std::nullopt;
  }
  struct stat facts {};
  if (::fstatat(processes, name, &facts, 0) != 0 || facts.st_uid != self.user) return std::nullopt;
  return program;
}

// An instance of this program, read through its folder in /proc, so that its state, command line
// and environment are those of one process.
bool IsInstanceOnItsWay(const Self& self, int process) {
  const std::optional<ProcessState> state = StateAt(process);
  return state && state->age < kOnItsWayFor && state->state != 'Z' && HasArgument(process) &&
         ValuesIn(ReadAt(process, "environ", kLongestEnvironment)) == self.values;
}

bool IsOnItsWay(const Self& self, pid_t pid, const FileId& program, int processes,
                const char* name) {
  if (program == self.program) {
    const UniqueFd process(::openat(processes, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return process.get() >= 0 && IsInstanceOnItsWay(self, process.get());
  }
  // The parent, or a process that runs its program: only the state is read.
  const std::optional<ProcessState> state =
      StateAt(processes, (std::string(name) + "/stat").c_str());
  if (!state || state->age >= kStartingFor || state->state == 'Z') return false;
  if (pid == self.parent) return state->state == 'R';
  // A fellow the parent has forked but that has not started this program yet.
  return state->parent == self.parent && program == self.parentProgram;
}

// The kernel's own threads, sorted: kthreadd and its children, where kthreadd is the kernel's (in
// a container's process numbers, 2 may be any process). They never run a program, and knowing them
// up front spares the look-up of each one's program, which on a quiet machine is most of the look.
// Empty where the kernel does not list a process's children. A thread left out of a list longer
// than a page only costs the look-up of its program. The kernel's kthreadd never ends, so its two
// files are read by path.
std::vector<pid_t> KernelThreads(int processes) {
  const std::string number = std::to_string(kKernelThreadParent);
  const std::optional<ProcessState> state = StateAt(processes, (number + "/stat").c_str());
  if (!state || (state->flags & kKernelThreadFlag) == 0) return {};
  std::vector<pid_t> threads{kKernelThreadParent};
  const std::string children =
      ReadOnce(processes, (number + "/task/" + number + "/children").c_str());
  const char* at = children.data();
  const char* const end = at + children.size();
  while (at < end) {
    pid_t child = 0;
    const auto [stop, error] = std::from_chars(at, end, child);
    // Every number ends with a blank: one without may have been cut.
    if (error == std::errc() && stop < end && *stop == ' ') threads.push_back(child);
    at = stop + 1;  // past the blank after each number (or the character that is none)
  }
  std::sort(threads.begin(), threads.end());
  return threads;
}

std::optional<pid_t> PidNamed(const char* name) {
  pid_t pid = 0;
  const std::string_view text(name);
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), pid);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return pid;
}

}  // namespace

CheckTime ThisProcessesStart() {
  const CheckTime now = CheckTimeNow();
  const std::optional<ProcessState> state = StateAt(AT_FDCWD, "/proc/self/stat");
  if (!state) return now;
  return now - std::chrono::duration_cast<std::chrono::nanoseconds>(state->age).count();
}

bool OthersOnTheirWay(const std::set<pid_t>& met) {
  const Self self;
  if (!self.program) return false;
  const UniqueFd processes(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (processes.get() < 0) return false;
  const std::vector<pid_t> kernelThreads = KernelThreads(processes.get());
  bool found = false;
  // A listing cut short by an error counts as its end.
  static_cast<void>(ForEachName(processes.get(), [&](const char* name) {
    const std::optional<pid_t> pid = PidNamed(name);
    if (!pid || *pid == self.pid || met.contains(*pid) ||
        std::binary_search(kernelThreads.begin(), kernelThreads.end(), *pid)) {
      return false;
    }
    const std::optional<FileId> program =
        ProgramOfOneMaybeOnItsWay(self, processes.get(), name, *pid);
    found = program && IsOnItsWay(self, *pid, *program, processes.get(), name);
    return found;
  }));
  return found;
}

}  // namespace kartiva::linux_os
