// The Linux lock of the client check: where it lies, what it refuses, and that it really excludes.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "platform/linux/client_check_lock.h"
#include "tests/support/process.h"

namespace kartiva::testing {
namespace {

namespace fs = std::filesystem;

fs::perms Mode(const fs::path& path) { return fs::symlink_status(path).permissions(); }

std::string HostName() {
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  return host;
}

enum class Where { kRuntime, kFallback, kHome, kRefused };

TEST(FileClientCheckLock, LiesInAPrivateFolderAndRefusesWhatOthersCouldPlant) {
  struct Case {
    const char* what;
    std::function<void(const fs::path& runtime, const fs::path& fallback)> arrange;
    bool useRuntime;  // XDG_RUNTIME_DIR names `runtime`
    Where lockFile;
  };
  const auto privateFolder = [](const fs::path& folder) {
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms::owner_all);
  };
  const Case cases[] = {
      {"the user's runtime folder", [&](auto& runtime, auto&) { privateFolder(runtime); }, true,
       Where::kRuntime},
      {"no runtime folder: a private folder in the fallback place", {}, false, Where::kFallback},
      {"a runtime folder open to others is not trusted",
       [&](auto& runtime, auto&) {
         privateFolder(runtime);
         fs::permissions(runtime, fs::perms::owner_all | fs::perms::others_all);
       },
       true, Where::kFallback},
      // What another user may have put in the shared place is left alone: the user's home serves.
      {"a planted link in the fallback place is not followed",
       [&](auto&, auto& fallback) {
         privateFolder(fallback.parent_path() / "elsewhere");
         fs::create_directory_symlink(fallback.parent_path() / "elsewhere", fallback);
       },
       false, Where::kHome},
      {"a fallback folder open to others is refused",
       [&](auto&, auto& fallback) {
         privateFolder(fallback);
         fs::permissions(fallback, fs::perms::all);
       },
       false, Where::kHome},
      {"another user's folder in the fallback place",
       [&](auto&, auto& fallback) {
         privateFolder(fallback);
         ASSERT_EQ(::chown(fallback.c_str(), 65534, 65534), 0);
       },
       false, Where::kHome},
      {"another user's file in the fallback place",
       [&](auto&, auto& fallback) { WriteFile(fallback, "squatted"); }, false, Where::kHome},
      {"a pipe in the fallback place",
       [&](auto&, auto& fallback) { ASSERT_EQ(::mkfifo(fallback.c_str(), 0666), 0); }, false,
       Where::kHome},
      {"a planted link as the lock file is not followed",
       [&](auto& runtime, auto&) {
         privateFolder(runtime);
         fs::create_symlink(runtime / "victim", runtime / "kartiva-client-check");
       },
       true, Where::kRefused},
      {"a pipe as the lock file is refused without blocking",
       [&](auto& runtime, auto&) {
         privateFolder(runtime);
         ASSERT_EQ(::mkfifo((runtime / "kartiva-client-check").c_str(), 0600), 0);
       },
       true, Where::kRefused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder temp;
    const fs::path runtime = temp.path() / "run";
    const fs::path fallback = temp.path() / "tmp" / ("kartiva-" + std::to_string(::geteuid()));
    fs::create_directories(fallback.parent_path());
    if (c.arrange) c.arrange(runtime, fallback);
    const fs::file_type squatted = fs::symlink_status(fallback).type();

    const fs::path home = temp.path() / "home";
    fs::create_directories(home);
    linux_os::FileClientCheckLock lock(std::make_shared<linux_os::MeetingFolder>(
        linux_os::MeetingPlace{.runtimeFolder = c.useRuntime ? runtime.string() : "",
                               .sharedParent = fallback.parent_path().string(),
                               .home = home.string()}));
    const bool acquired = lock.Acquire();
    EXPECT_EQ(acquired, c.lockFile != Where::kRefused);
    if (acquired) lock.Release();
    EXPECT_FALSE(fs::exists(runtime / "victim"));
    EXPECT_FALSE(fs::exists(fallback.parent_path() / "elsewhere" / "kartiva-client-check"));
    if (c.lockFile == Where::kRefused) continue;
    const fs::path homeFolder = home / ".cache" / ("kartiva-" + HostName());
    const fs::path file = (c.lockFile == Where::kRuntime    ? runtime
                           : c.lockFile == Where::kFallback ? fallback
                                                            : homeFolder) /
                          "kartiva-client-check";
    if (c.lockFile == Where::kRuntime) {
      EXPECT_FALSE(fs::exists(fs::symlink_status(fallback)));
    }
    EXPECT_EQ(fs::symlink_status(fallback).type(),
              c.lockFile == Where::kFallback ? fs::file_type::directory : squatted);
    EXPECT_TRUE(fs::is_regular_file(file));
    EXPECT_EQ(Mode(file), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Mode(file.parent_path()), fs::perms::owner_all);
  }
}

// Two instances: the second waits while the first holds the lock, and then reads the first one's
// "No"; a record that is not a moment reads as none.
TEST(FileClientCheckLock, ExcludesAndHandsTheLastDeclineOn) {
  TempFolder temp;
  const std::string runtime = temp.path().string();
  fs::permissions(temp.path(), fs::perms::owner_all);
  const auto place = linux_os::MeetingPlace{.runtimeFolder = runtime};
  linux_os::FileClientCheckLock first(std::make_shared<linux_os::MeetingFolder>(place));
  linux_os::FileClientCheckLock second(std::make_shared<linux_os::MeetingFolder>(place));
  ASSERT_TRUE(first.Acquire());
  EXPECT_EQ(first.LastDecline(), std::nullopt);

  std::atomic<bool> secondHolds{false};
  std::thread waiter([&] { secondHolds = second.Acquire(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(secondHolds) << "the second instance got in while the first held the lock";
  first.RecordDecline(1'765'000'000'123'456'789);
  first.Release();
  waiter.join();
  ASSERT_TRUE(secondHolds);
  EXPECT_EQ(second.LastDecline(), 1'765'000'000'123'456'789);

  for (const char* record : {"", "soon\n", "12 34", "-", "123456789012345678901234567890123\n"}) {
    WriteFile(temp.path() / "kartiva-client-check", record);
    EXPECT_EQ(second.LastDecline(), std::nullopt) << record;
  }
  second.Release();
}

}  // namespace
}  // namespace kartiva::testing
