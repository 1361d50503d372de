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

std::optional<FileId> FileIdAt(const std::string& path) {
  struct stat facts {};
  if (::stat(path.c_str(), &facts) != 0) return std::nullopt;
  return FileId{facts.st_dev, facts.st_ino};
}

// The content of the file `name` in `folder`, up to `limit`; empty when it cannot be read.
std::string ContentOf(int folder, const char* name, std::size_t limit) {
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
  const std::string commandLine = ContentOf(process, "cmdline", kLongestCommandLine);
  const std::size_t nameEnd = commandLine.find('\0');
  return nameEnd != std::string::npos && nameEnd + 1 < commandLine.size();
}

std::string ProcessFolder(pid_t pid) { return "/proc/" + std::to_string(pid); }

// What this process knows of itself and its parent, to tell its fellows by.
struct Self {
  pid_t parent = 0;
  uid_t user = ::geteuid();
  std::optional<FileId> program = FileIdAt("/proc/self/exe");
  std::optional<FileId> parentProgram = FileIdAt(ProcessFolder(parent) + "/exe");
  MeetingValues values = OwnValues();
};

// An instance of this program, read through its folder in /proc, so that its state, command line
// and environment are those of one process.
bool IsInstanceOnItsWay(const Self& self, int process) {
  const std::optional<ProcessState> state = StateAt(process);
  return state && state->age < kOnItsWayFor && state->state != 'Z' && HasArgument(process) &&
         ValuesIn(ContentOf(process, "environ", kLongestEnvironment)) == self.values;
}

// A child of the parent on its way: an instance of this program, or a fellow the parent has
// forked but that has not started this program yet. Its program comes first, as it is the
// cheapest to learn (only its owner may see it, unless this is root), then its owner.
bool IsOnItsWay(const Self& self, pid_t pid) {
  const std::string folder = ProcessFolder(pid);
  const std::optional<FileId> program = FileIdAt(folder + "/exe");
  if (!program || (program != self.program && program != self.parentProgram)) return false;
  struct stat facts {};
  if (::stat(folder.c_str(), &facts) != 0 || facts.st_uid != self.user) return false;
  if (program == self.program) {
    const UniqueFd process(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return process.get() >= 0 && IsInstanceOnItsWay(self, process.get());
  }
  // Of a fork, only the state is read.
  const std::optional<ProcessState> state = StateAt(AT_FDCWD, (folder + "/stat").c_str());
  return state && state->age < kStartingFor && state->state != 'Z' && state->parent == self.parent;
}

// The parent itself, while it is young and busy starting instances.
bool IsStartingThem(pid_t parent) {
  const std::optional<ProcessState> state =
      StateAt(AT_FDCWD, (ProcessFolder(parent) + "/stat").c_str());
  return state && state->age < kStartingFor && state->state == 'R';
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
bool AnyChildOf(pid_t parent, const std::function<bool(pid_t)>& onItsWay) {
  const UniqueFd threads(
      ::open((ProcessFolder(parent) + "/task").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (threads.get() < 0) return false;
  bool found = false;
  static_cast<void>(ForEachName(threads.get(), [&](const char* thread) {
    if (!PidNamed(thread)) return false;  // "." and ".."
    // A thread that ended meanwhile lists nothing: its children went to another one.
    const std::string children =
        ContentOf(threads.get(), (std::string(thread) + "/children").c_str(), kLongestChildList);
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
  const pid_t parent = ::getppid();
  if (IsStartingThem(parent)) return true;
  const pid_t own = ::getpid();
  // What this process knows of itself is read only once the parent has another child.
  std::optional<Self> self;
  return AnyChildOf(parent, [&](pid_t child) {
    if (child == own || met.contains(child)) return false;
    if (!self) self.emplace(Self{.parent = parent});
    return self->program && IsOnItsWay(*self, child);
  });
}

}  // namespace kartiva::linux_os
