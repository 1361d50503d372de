#include "platform/linux/qt_probe_memory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <system_error>

#include "linux_base/atomic_file.h"
#include "linux_base/file_io.h"
#include "linux_base/unique_fd.h"

namespace kartiva::linux_os {
namespace {

constexpr std::size_t kAnswerLimit = 8192;
constexpr std::string_view kHeading = "Qt shows windows\n";

// The variables by which Qt picks its display, its platform and the libraries it loads.
constexpr const char* kVariables[] = {"DISPLAY",         "WAYLAND_DISPLAY",
                                      "QT_QPA_PLATFORM", "QT_QPA_PLATFORM_PLUGIN_PATH",
                                      "QT_PLUGIN_PATH",  "LD_LIBRARY_PATH"};

// Each part with its length first, so that no value can pass for another part.
void Append(std::string& text, const std::string& part) {
  text += std::to_string(part.size()) + ":" + part + "\n";
}

// The first part after the heading: the Qt library's file; nothing when the text has no such part.
std::optional<std::string> FirstPart(std::string_view text) {
  if (!text.starts_with(kHeading)) return std::nullopt;
  text.remove_prefix(kHeading.size());
  std::size_t length = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), length);
  const std::size_t start = static_cast<std::size_t>(end - text.data()) + 1;
  if (error != std::errc() || start > text.size() || text[start - 1] != ':' ||
      length > text.size() - start) {
    return std::nullopt;
  }
  return std::string(text.substr(start, length));
}

std::string Identity(const std::filesystem::path& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) return "missing";
  return std::to_string(info.st_dev) + " " + std::to_string(info.st_ino) + " " +
         std::to_string(info.st_size) + " " + std::to_string(info.st_ctim.tv_sec) + "." +
         std::to_string(info.st_ctim.tv_nsec);
}

}  // namespace

std::string QtProbeCircumstances(const std::string& qtLibrary,
                                 const std::vector<std::filesystem::path>& files) {
  std::string circumstances(kHeading);
  Append(circumstances, qtLibrary);
  for (const char* name : kVariables) {
    // Appended piece by piece: GCC 12 at -O3 takes `"=" + std::string(value)` for an overlapping
    // copy (-Wrestrict), which fails the plain build.
    std::string variable(name);
    if (const char* value = std::getenv(name)) variable.append("=").append(value);
    Append(circumstances, variable);
  }
  std::vector<std::filesystem::path> identified = files;
  identified.emplace_back(qtLibrary);
  for (const std::filesystem::path& file : identified) {
    Append(circumstances, file.string());
    Append(circumstances, Identity(file));
  }
  return circumstances;
}

bool RemembersGoodAnswer(const std::filesystem::path& answerFile,
                         const std::vector<std::filesystem::path>& files) {
  const UniqueFd file(::open(answerFile.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat info {};
  if (file.get() < 0 || ::fstat(file.get(), &info) != 0) return false;
  if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & 022) != 0) {
    return false;
  }
  std::string content;
  if (ReadUpTo(file.get(), kAnswerLimit, content) != 0 || content.size() > kAnswerLimit) {
    return false;
  }
  const std::optional<std::string> qtLibrary = FirstPart(content);
  return qtLibrary && content == QtProbeCircumstances(*qtLibrary, files);
}

void RememberGoodAnswer(const std::filesystem::path& answerFile,
                        const std::vector<std::filesystem::path>& files,
                        const std::string& qtLibrary) {
  static_cast<void>(
      ReplaceFileAtomically(answerFile, QtProbeCircumstances(qtLibrary, files), 0600));
}

}  // namespace kartiva::linux_os
