// The remembered answer of the Qt probe is read from the user's runtime folder, where it is input
// like any other: only the user's own regular file that holds exactly the circumstances counts,
// and a pipe or a link in its place never holds up the program nor passes for an answer. Another
// display or a new Qt asks Qt again.

#include "platform/linux/qt_probe_memory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace kartiva::testing {
namespace {

namespace fs = std::filesystem;

TEST(QtProbeMemory, RemembersOnlyItsOwnFileForTheSameCircumstances) {
  struct Case {
    std::string name;
    std::function<void(const fs::path& answer, const std::vector<fs::path>& files)> arrange;
    bool remembered;
  };
  const Case cases[] = {
      {"Written",
       [](const fs::path& answer, const std::vector<fs::path>& files) {
         linux_os::RememberGoodAnswer(answer, files, "/usr/lib/libQt6Core.so.6");
       },
       true},
      {"None", [](const fs::path&, const std::vector<fs::path>&) {}, false},
      {"AnotherQtLibraryThatChanged",
       [](const fs::path& answer, const std::vector<fs::path>& files) {
         const std::string qt = answer.string() + ".libQt6Core.so.6";
         WriteFile(qt, "Qt");
         linux_os::RememberGoodAnswer(answer, files, qt);
         WriteFile(qt, "a new Qt");
       },
       false},
      {"AnotherDisplay",
       [](const fs::path& answer, const std::vector<fs::path>& files) {
         linux_os::RememberGoodAnswer(answer, files, "");
         ::setenv("DISPLAY", ":97", 1);
       },
       false},
      {"OtherCircumstances",
       [](const fs::path& answer, const std::vector<fs::path>& files) {
         WriteFile(answer, linux_os::QtProbeCircumstances("", files) + "1:x\n");
       },
       false},
      {"LinkToAGoodAnswer",
       [](const fs::path& answer, const std::vector<fs::path>& files) {
         linux_os::RememberGoodAnswer(answer.string() + ".elsewhere", files, "");
         fs::create_symlink(answer.string() + ".elsewhere", answer);
       },
       false},
      {"WritableByOthers",
       [](const fs::path& answer, const std::vector<fs::path>& files) {
         WriteFile(answer, linux_os::QtProbeCircumstances("", files));
         fs::permissions(answer, fs::perms::owner_read | fs::perms::owner_write |
                                     fs::perms::group_write | fs::perms::others_write);
       },
       false},
      {"Pipe",
       [](const fs::path& answer, const std::vector<fs::path>&) {
         ASSERT_EQ(::mkfifo(answer.c_str(), 0600), 0);
       },
       false},
  };
  TempFolder temp;
  const fs::path module = temp.path() / "libkartiva_qt.so";
  WriteFile(module, "module");
  const std::vector<fs::path> files{module};
  const char* display = std::getenv("DISPLAY");
  const std::optional<std::string> savedDisplay =
      display != nullptr ? std::optional<std::string>(display) : std::nullopt;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path answer = temp.path() / c.name;
    WriteFile(module, "module");
    c.arrange(answer, files);
    EXPECT_EQ(linux_os::RemembersGoodAnswer(answer, files), c.remembered);
    if (savedDisplay) {
      ::setenv("DISPLAY", savedDisplay->c_str(), 1);
    } else {
      ::unsetenv("DISPLAY");
    }
  }
  EXPECT_EQ(fs::status(temp.path() / "Written").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

}  // namespace
}  // namespace kartiva::testing
