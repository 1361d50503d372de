#include "linux_base/crash_state.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "linux_base/unique_fd.h"

namespace kartiva::linux_os::crash_state {
namespace {

namespace fs = std::filesystem;

// A name created (`added`) or removed; a removed one keeps its file in `attic` until the cut.
struct Event {
  bool added;
  fs::path name;
  fs::path attic{};
  dev_t device = 0;
  ino_t inode = 0;
  int renamedTo = -1;  // for the old name of a rename: the event of its new name
  bool flushed = false;
};

// A file written since its last flush, held open (a duplicate of its writer's descriptor) so that
// the cut reaches it after its writer closed it.
struct Unflushed {
  int fd;
  dev_t device;
  ino_t inode;
  bool data = true;
  bool attributes = true;
};

struct State {
  std::vector<Event> events;
  std::vector<Unflushed> unflushed;
  std::map<fs::path, fs::path> attics;  // of names about to go
  unsigned long atticsMade = 0;
};

State& Recorded() {
  static State state;
  return state;
}

bool Armed() {
  static const bool armed = std::getenv("KARTIVA_CRASH_CUT") != nullptr;
  return armed;
}

void LogFlush(const std::string& line) {
  const char* log = std::getenv("KARTIVA_FLUSH_LOG");
  if (log == nullptr) return;
  const UniqueFd fd(::open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
  const std::string text = line + "\n";
  if (fd.get() >= 0) [[maybe_unused]]
    const ssize_t written = ::write(fd.get(), text.data(), text.size());
}

fs::path FolderOf(const fs::path& name) { return name.parent_path().lexically_normal(); }

// Whether the changes in `folder` reached the disk at the cut.
bool Kept(const fs::path& folder) {
  const char* cut = std::getenv("KARTIVA_CRASH_CUT");
  if (cut == nullptr) return false;
  const std::string kept = cut;
  const std::string path = folder.string();
  std::size_t start = 0;
  while (start <= kept.size()) {
    const std::size_t end = std::min(kept.find(',', start), kept.size());
    const std::string entry = "/" + kept.substr(start, end - start);
    if (entry.size() > 1 && path.size() >= entry.size() &&
        path.compare(path.size() - entry.size(), entry.size(), entry) == 0) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

void ZeroData(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return;
  const std::string zeros(65536, '\0');
  for (off_t offset = 0; offset < info.st_size; offset += static_cast<off_t>(zeros.size())) {
    const auto size = std::min<off_t>(static_cast<off_t>(zeros.size()), info.st_size - offset);
    if (::pwrite(fd, zeros.data(), static_cast<std::size_t>(size), offset) < 0) return;
  }
}

// Removes the user's extended attributes of a file.
void DropAttributes(int fd) {
  std::string names(65536, '\0');
  const ssize_t size = ::flistxattr(fd, names.data(), names.size());
  for (std::size_t at = 0; size > 0 && at < static_cast<std::size_t>(size);) {
    const std::string name = names.c_str() + at;
    if (name.rfind("user.", 0) == 0) ::fremovexattr(fd, name.c_str());
    at += name.size() + 1;
  }
}

}  // namespace

void DataWritten(int fd) {
  struct stat info {};
  if (!Armed() || ::fstat(fd, &info) != 0) return;
  const int held = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (held >= 0) Recorded().unflushed.push_back({held, info.st_dev, info.st_ino});
}

void DataFlushed(int fd, bool withAttributes) {
  LogFlush("data");
  struct stat info {};
  if (::fstat(fd, &info) != 0) return;
  for (Unflushed& file : Recorded().unflushed) {
    if (file.device != info.st_dev || file.inode != info.st_ino) continue;
    file.data = false;
    file.attributes = file.attributes && !withAttributes;
  }
}

namespace {

std::string ShortName(const fs::path& folder) {
  return (folder.parent_path().filename() / folder.filename()).string();
}

}  // namespace

int FolderFlushFault(const fs::path& folder) {
  const char* failing = std::getenv("KARTIVA_FLUSH_FAIL");
  return failing != nullptr && ShortName(folder) == failing ? EIO : 0;
}

void FolderFlushed(const fs::path& folder) {
  LogFlush("folder " + ShortName(folder));
  auto& events = Recorded().events;
  for (Event& event : events) {
    if (FolderOf(event.name) != folder.lexically_normal()) continue;
    event.flushed = true;
    if (event.renamedTo >= 0) events[static_cast<std::size_t>(event.renamedTo)].flushed = true;
  }
}

void IndexCommitted() { LogFlush("index"); }

void NameAdded(const fs::path& name) {
  if (!Armed()) return;
  struct stat info {};
  if (::lstat(name.c_str(), &info) != 0) return;
  State& state = Recorded();
  state.events.push_back(
      {.added = true, .name = name, .device = info.st_dev, .inode = info.st_ino});
}

void NameToGo(const fs::path& name) {
  if (!Armed()) return;
  State& state = Recorded();
  const fs::path attic = name.parent_path() / (".crash-attic-" + std::to_string(::getpid()) + "-" +
                                               std::to_string(++state.atticsMade));
  if (::link(name.c_str(), attic.c_str()) == 0) state.attics[name] = attic;
}

namespace {

void Gone(const fs::path& name, bool gone, int renamedTo) {
  State& state = Recorded();
  const auto attic = state.attics.find(name);
  if (attic == state.attics.end()) return;
  if (gone) {
    state.events.push_back(
        {.added = false, .name = name, .attic = attic->second, .renamedTo = renamedTo});
  } else {
    ::unlink(attic->second.c_str());
  }
  state.attics.erase(attic);
}

}  // namespace

void NameGone(const fs::path& name, bool gone) {
  if (Armed()) Gone(name, gone, -1);
}

void Renamed(const fs::path& from, const fs::path& to) {
  if (!Armed()) return;
  NameAdded(to);
  Gone(from, true, static_cast<int>(Recorded().events.size()) - 1);
}

void LoseWhatWasNotFlushed() {
  State& state = Recorded();
  for (const Unflushed& file : state.unflushed) {
    if (file.data) ZeroData(file.fd);
    if (file.attributes) DropAttributes(file.fd);
  }
  std::vector<bool> undone(state.events.size(), false);
  for (std::size_t i = state.events.size(); i-- > 0;) {
    const Event& event = state.events[i];
    undone[i] = !event.flushed && !Kept(FolderOf(event.name));
    if (!event.added && event.renamedTo >= 0 && undone[static_cast<std::size_t>(event.renamedTo)])
      undone[i] = true;
    if (!undone[i]) continue;
    struct stat info {};
    if (event.added) {
      if (::lstat(event.name.c_str(), &info) == 0 && info.st_dev == event.device &&
          info.st_ino == event.inode) {
        ::unlink(event.name.c_str());
      }
    } else {
      // A name the cut took back comes back where it can; one that cannot is what the cut left.
      [[maybe_unused]] const int relinked = ::link(event.attic.c_str(), event.name.c_str());
    }
  }
  for (const Event& event : state.events) {
    if (!event.attic.empty()) ::unlink(event.attic.c_str());
  }
}

int Refusal(std::string_view call) {
  const char* refused = std::getenv("KARTIVA_REFUSE");
  if (refused == nullptr) return 0;
  const std::string list = std::string(",") + refused + ",";
  if (list.find("," + std::string(call) + ",") == std::string::npos) return 0;
  if (call == "renameat2") return EINVAL;
  if (call == "O_TMPFILE") return EOPNOTSUPP;
  return call == "link" ? EPERM : ENOLCK;
}

}  // namespace kartiva::linux_os::crash_state
