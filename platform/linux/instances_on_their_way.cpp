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
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "linux_base/file_io.h"
#include "linux_base/unique_fd.h"
#include "platform/linux/meeting_key.h"

namespace kartiva::linux_os {
namespace {

// A process's environment can be as large as its arguments; more than this is not read.
constexpr std::size_t kLongestEnvironment = std::size_t{1} << 20;
constexpr std::size_t kLongestCommandLine = 4096;
// The children of one thread, a number and a blank each: more than a million is not read.
constexpr std::size_t kLongestChildList = std::size_t{8} << 20;

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

// What one read of a process's state gives, up to a page: all of it. A second read would only
// tell the end.
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
  // Fields 3 (state), 4 (parent) and 22 (start, in clock ticks after boot) of proc(5); the later
  // ones are not split off.
  constexpr std::size_t kState = 0, kParent = 1, kStart = 19;
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
  if (!number(fields[kParent], result.parent) || !number(fields[kStart], startTicks)) {
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

std::optional<pid_t> PidNamed(const char* name) {
  pid_t pid = 0;
  const std::string_view text(name);
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), pid);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return pid;
}

// Whether `onItsWay` holds for a child of `parent`, as the kernel lists the children of each of its
// threads (where it was built to: every distribution's kernel is). For none where it lists none,
// or the parent's threads cannot be read; a listing cut short by an error counts as its end.
bool AnyChildOf(int processes, pid_t parent, const std::function<bool(pid_t)>& onItsWay) {
  const UniqueFd threads(::openat(processes, (std::to_string(parent) + "/task").c_str(),
                                  O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (threads.get() < 0) return false;
  bool found = false;
  static_cast<void>(ForEachName(threads.get(), [&](const char* thread) {
    if (!PidNamed(thread)) return false;  // "." and ".."
    // A thread that ended meanwhile lists nothing: its children went to another one.
    const std::string children =
        ReadAt(threads.get(), (std::string(thread) + "/children").c_str(), kLongestChildList);
    const char* const end = children.data() + children.size();
    for (const char* at = children.data(); !found && at < end;) {
      pid_t child = 0;
      const auto [stop, failed] = std::from_chars(at, end, child);
      if (failed != std::errc()) break;
      found = onItsWay(child);
      at = stop + 1;  // past the blank after each number
    }
    return found;
  }));
  return found;
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
  const auto onItsWay = [&](pid_t pid) {
    if (pid == self.pid || met.contains(pid)) return false;
    const std::string name = std::to_string(pid);
    const std::optional<FileId> program =
        ProgramOfOneMaybeOnItsWay(self, processes.get(), name.c_str(), pid);
    return program && IsOnItsWay(self, pid, *program, processes.get(), name.c_str());
  };
  return onItsWay(self.parent) || AnyChildOf(processes.get(), self.parent, onItsWay);
}

}  // namespace kartiva::linux_os
