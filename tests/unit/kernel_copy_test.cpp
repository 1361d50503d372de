#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "localstore/files.h"
#include "localstore/kernel_copy.h"
#include "tests/support/process.h"

namespace kartiva::testing {
namespace {

namespace fs = std::filesystem;
using namespace kartiva::localstore;

// The copy keeps every byte and every hole, wherever the holes lie.
TEST(KernelCopy, KeepsBytesAndHoles) {
  constexpr off_t kMiB = 1 << 20;
  struct Case {
    const char* name;
    std::vector<std::pair<off_t, std::string>> data;  // bytes written at offsets
    off_t size;
  };
  const Case cases[] = {
      {"empty", {}, 0},
      {"no hole", {{0, std::string(5000, 'a')}}, 5000},
      {"only a hole", {}, 4 * kMiB},
      {"hole, then data", {{3 * kMiB, "tail"}}, 3 * kMiB + 4},
      {"data, then a hole", {{0, "head"}}, 4 * kMiB},
      {"data, hole, data, hole", {{0, "a"}, {2 * kMiB, "b"}}, 5 * kMiB},
  };
  TempFolder temp;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path source = temp.path() / "source";
    const fs::path target = temp.path() / "target";
    WriteFile(source, "");
    fs::resize_file(source, static_cast<std::uintmax_t>(c.size));
    {
      std::fstream out(source, std::ios::in | std::ios::out | std::ios::binary);
      for (const auto& [offset, bytes] : c.data)
        out.seekp(offset).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    WriteFile(target, "");
    UniqueFd in(::open(source.c_str(), O_RDONLY));
    UniqueFd out(::open(target.c_str(), O_WRONLY));
    ASSERT_EQ(CopyFileData(in.get(), out.get()), 0);
    EXPECT_EQ(ReadFile(target), ReadFile(source));
    struct stat copied {};
    ASSERT_EQ(::fstat(out.get(), &copied), 0);
    EXPECT_LE(copied.st_blocks * 512, 64 * 1024 * static_cast<blkcnt_t>(c.data.size()) + 8192);
  }
}

}  // namespace
}  // namespace kartiva::testing
