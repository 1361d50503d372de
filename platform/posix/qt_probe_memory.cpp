#include "platform/posix/qt_probe_memory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/posix/base/atomic_file.h"
#include "platform/posix/base/file_io.h"
#include "platform/posix/base/unique_fd.h"

namespace kartiva::posix {
namespace {

constexpr std::size_t kAnswerLimit = 8192;

// The variables by which Qt picks its display, its platform and the libraries it loads.
constexpr const char* kVariables[] = {"DISPLAY",         "WAYLAND_DISPLAY",
                                      "QT_QPA_PLATFORM", "QT_QPA_PLATFORM_PLUGIN_PATH",
                                      "QT_PLUGIN_PATH",  "LD_LIBRARY_PATH"};

// Each part with its length first, so that no value can pass for another part.
void Append(std::string& text, const std::string& part) {
  text += std::to_string(part.size()) + ":" + part + "\n";
}

std::string Identity(const std::filesystem::path& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) return "missing";
  return std::to_string(info.st_dev) + " " + std::to_string(info.st_ino) + " " +
         std::to_string(info.st_size) + " " + std::to_string(info.st_ctim.tv_sec) + "." +
         std::to_string(info.st_ctim.tv_nsec);
}

}  // namespace

std::string QtProbeCircumstances(const std::vector<std::filesystem::path>& files) {
  std::string circumstances = "Qt shows windows\n";
  for (const char* name : kVariables) {
    const char* value = std::getenv(name);
    Append(circumstances, std::string(name) + (value != nullptr ? "=" + std::string(value) : ""));
  }
  for (const std::filesystem::path& file : files) {
    Append(circumstances, file.string());
    Append(circumstances, Identity(file));
  }
  return circumstances;
}

bool RemembersGoodAnswer(const std::filesystem::path& answerFile,
                         const std::string& circumstances) {
  const UniqueFd file(::open(answerFile.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat info {};
  if (file.get() < 0 || ::fstat(file.get(), &info) != 0) return false;
  if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & 022) != 0) {
    return false;
  }
  std::string content;
  return ReadUpTo(file.get(), kAnswerLimit, content) == 0 && content == circumstances;
}

void RememberGoodAnswer(const std::filesystem::path& answerFile, const std::string& circumstances) {
  static_cast<void>(ReplaceFileAtomically(answerFile, circumstances, 0600));
}

}  // namespace kartiva::posix
