// The remembered answer of the Qt probe is read from the user's runtime folder, where it is input
// like any other: only the user's own regular file that holds exactly the circumstances counts,
// and a pipe or a link in its place never holds up the program nor passes for an answer.

#include "platform/posix/qt_probe_memory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
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
         posix::RememberGoodAnswer(answer, files, "/usr/lib/libQt6Core.so.6");
       },
       true},
      {"None", [](const fs::path&, const std::vector<fs::path>&) {}, false},
      {"AnotherQtLibraryThatChanged",
       [](const fs::path& answer, const std::vector<fs::path>& files) {
         const std::string qt = answer.string() + ".libQt6Core.so.6";
         WriteFile(qt, "Qt");
         posix::RememberGoodAnswer(answer, files, qt);
         WriteFile(qt, "a new Qt");
       },
       false},
      {"OtherCircumstances",
       [](const fs::path& answer, const std::vector<fs::path>& files) {
         WriteFile(answer, posix::QtProbeCircumstances("", files) + "1:x\n");
       },
       false},
      {"LinkToAGoodAnswer",
       [](const fs::path& answer, const std::vector<fs::path>& files) {
         posix::RememberGoodAnswer(answer.string() + ".elsewhere", files, "");
         fs::create_symlink(answer.string() + ".elsewhere", answer);
       },
       false},
      {"WritableByOthers",
       [](const fs::path& answer, const std::vector<fs::path>& files) {
         WriteFile(answer, posix::QtProbeCircumstances("", files));
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
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path answer = temp.path() / c.name;
    WriteFile(module, "module");
    c.arrange(answer, files);
    EXPECT_EQ(posix::RemembersGoodAnswer(answer, files), c.remembered);
  }
  EXPECT_EQ(fs::status(temp.path() / "Written").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

// Another display, another platform or a new Qt module asks Qt again.
TEST(QtProbeMemory, CircumstancesChangeWithTheDisplayThePlatformAndTheFiles) {
  TempFolder temp;
  const fs::path module = temp.path() / "libkartiva_qt.so";
  WriteFile(module, "module");
  // The variables are the process's own: each is put back as it was.
  std::vector<std::pair<std::string, std::optional<std::string>>> saved;
  for (const char* name : {"DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    saved.emplace_back(name, value != nullptr ? std::optional<std::string>(value) : std::nullopt);
  }
  const std::string before = posix::QtProbeCircumstances("", {module});
  EXPECT_EQ(posix::QtProbeCircumstances("", {module}), before);
  const std::function<void()> changes[] = {
      [] { ::setenv("DISPLAY", ":97", 1); },
      [] { ::setenv("QT_QPA_PLATFORM", "wayland;xcb", 1); },
      [&] {
        fs::remove(module);
        WriteFile(module, "module");  // a new file of the same name and size
      },
  };
  for (const auto& change : changes) {
    const std::string was = posix::QtProbeCircumstances("", {module});
    change();
    EXPECT_NE(posix::QtProbeCircumstances("", {module}), was);
  }
  for (const auto& [name, value] : saved) {
    if (value) {
      ::setenv(name.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }
}

}  // namespace
}  // namespace kartiva::testing
