// The Linux lock of the client check: where it lies, what it refuses, and that it really excludes.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "platform/posix/client_check_lock.h"
#include "tests/support/process.h"

namespace kartiva::testing {
namespace {

namespace fs = std::filesystem;

fs::perms Mode(const fs::path& path) { return fs::symlink_status(path).permissions(); }

enum class Where { kRuntime, kFallback, kRefused };

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
      {"a planted link in the fallback place is not followed",
       [&](auto&, auto& fallback) {
         privateFolder(fallback.parent_path() / "elsewhere");
         fs::create_directory_symlink(fallback.parent_path() / "elsewhere", fallback);
       },
       false, Where::kRefused},
      {"a fallback folder open to others is refused",
       [&](auto&, auto& fallback) {
         privateFolder(fallback);
         fs::permissions(fallback, fs::perms::all);
       },
       false, Where::kRefused},
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

    posix::FileClientCheckLock lock(c.useRuntime ? runtime.string() : "",
                                    fallback.parent_path().string());
    const bool acquired = lock.Acquire();
    EXPECT_EQ(acquired, c.lockFile != Where::kRefused);
    if (acquired) lock.Release();
    EXPECT_FALSE(fs::exists(runtime / "victim"));
    EXPECT_FALSE(fs::exists(fallback.parent_path() / "elsewhere" / "kartiva-client-check"));
    if (c.lockFile == Where::kRefused) continue;
    const fs::path file =
        (c.lockFile == Where::kRuntime ? runtime : fallback) / "kartiva-client-check";
    EXPECT_EQ(fs::exists(fallback), c.lockFile == Where::kFallback);
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
  posix::FileClientCheckLock first(runtime, "/nonexistent");
  posix::FileClientCheckLock second(runtime, "/nonexistent");
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
