// The Linux batch endpoint against what may lie in its place and what a client may send.

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/linux/batch_endpoint.h"
#include "tests/support/process.h"

namespace kartiva::testing {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

class BatchEndpointTest : public ::testing::Test {
 protected:
  BatchEndpointTest() { fs::permissions(temp_.path(), fs::perms::owner_all); }
  linux_os::UnixBatchEndpoint Endpoint() const {
    return linux_os::UnixBatchEndpoint(
        std::make_shared<linux_os::MeetingFolder>(
            linux_os::MeetingPlace{.runtimeFolder = temp_.path().string()}),
        "Mappix");
  }
  fs::path SocketPath() const { return temp_.path() / "kartiva-Mappix.socket"; }

  // A socket bound to the endpoint's name and closed again, as a killed instance leaves it.
  void LeaveStaleSocket() const {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, SocketPath().c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
  }

  TempFolder temp_;
};

TEST_F(BatchEndpointTest, ListensUnlessTheNameIsTakenOrNotASocket) {
  const struct {
    std::string name;
    std::function<void()> arrange;
    bool listens;
    bool taken;
  } cases[] = {
      {"nothing there", [] {}, true, false},
      {"a socket left by a dead instance", [this] { LeaveStaleSocket(); }, true, false},
      {"a file", [this] { WriteFile(SocketPath(), "mine"); }, false, false},
      {"a folder", [this] { fs::create_directory(SocketPath()); }, false, false},
      {"a link to a socket",
       [this] {
         fs::create_directory(temp_.path() / "elsewhere");
         fs::create_symlink(temp_.path() / "elsewhere" / "s", SocketPath());
       },
       false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(SocketPath());
    c.arrange();
    const fs::file_type before = fs::symlink_status(SocketPath()).type();
    linux_os::UnixBatchEndpoint endpoint = Endpoint();
    BatchEndpoint::Listening listening = endpoint.Listen();
    EXPECT_EQ(listening.listener != nullptr, c.listens);
    EXPECT_EQ(listening.taken, c.taken);
    if (!c.listens) {
      EXPECT_EQ(fs::symlink_status(SocketPath()).type(), before) << "something not ours was moved";
      continue;
    }
    // While it listens, the next instance finds the place taken and connects.
    EXPECT_TRUE(Endpoint().Listen().taken);
    EXPECT_NE(Endpoint().Connect(), nullptr);
    listening.listener.reset();
    EXPECT_FALSE(fs::exists(SocketPath())) << "the name stayed after listening stopped";
  }
}

// What a client sends, and whether the first instance takes it as a path: a relative one travels
// as the path it names in the waiting instance's working folder.
TEST_F(BatchEndpointTest, TakesOnlyWholePathsOfBoundedSize) {
  const std::string here = fs::current_path().string();
  const struct {
    std::string name;
    std::string sent;
    bool taken;
    std::string arrives;
  } cases[] = {
      {"a path", "/scans/Rabatt 20%.txt", true, "/scans/Rabatt 20%.txt"},
      {"a path with a line break", "/scans/a\nb.txt", true, "/scans/a\nb.txt"},
      {"a relative path", "scans/1.txt", true, here + "/scans/1.txt"},
      {"the longest path", "/" + std::string(kLongestHandedPath - 1, 'a'), true, ""},
      {"too long", "/" + std::string(kLongestHandedPath, 'a'), false, ""},
      {"a relative path made too long", std::string(kLongestHandedPath - 1, 'a'), false, ""},
      {"a NUL byte", std::string("/a\0b", 4), false, ""},
  };
  linux_os::UnixBatchEndpoint endpoint = Endpoint();
  std::unique_ptr<BatchListener> listener = endpoint.Listen().listener;
  ASSERT_NE(listener, nullptr);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // One that connects and says nothing holds up no one.
    const std::unique_ptr<FirstInstanceLink> silent = endpoint.Connect();
    const std::unique_ptr<FirstInstanceLink> link = endpoint.Connect();
    ASSERT_NE(link, nullptr);
    ASSERT_TRUE(link->HandOver(c.sent));
    std::optional<Arrival> arrival = listener->NextArrival(milliseconds(300));
    EXPECT_EQ(arrival.has_value(), c.taken);
    if (!arrival) {
      EXPECT_EQ(link->NextMessage(), std::nullopt) << "a refused client was left waiting";
      continue;
    }
    EXPECT_EQ(arrival->path, c.arrives.empty() ? c.sent : c.arrives);
    arrival->waiter->Tell("started");
    arrival->waiter->Tell("status 2");
    EXPECT_EQ(link->NextMessage(), "started");
    EXPECT_EQ(link->NextMessage(), "status 2");
  }
  // Nothing at all is no path: the link is not even used.
  EXPECT_FALSE(endpoint.Connect()->HandOver(""));
  EXPECT_EQ(listener->NextArrival(milliseconds(300)), std::nullopt);
  // One whose path was not taken yet when the listening stops sees its link end.
  const std::unique_ptr<FirstInstanceLink> late = endpoint.Connect();
  ASSERT_TRUE(late->HandOver("/late"));
  listener.reset();
  EXPECT_EQ(late->NextMessage(), std::nullopt);
}

}  // namespace
}  // namespace kartiva::testing
