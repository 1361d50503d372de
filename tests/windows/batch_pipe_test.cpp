// The named pipe through which the instances of a batch meet, both ends in this process: the
// first instance takes well-formed paths only, a client that says nothing holds up no one, and a
// waiter notices when its first instance goes.

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/batch_pipe.h"

namespace kartiva::win32 {
namespace {

// What a waiting instance sent, and the messages it received until its link ended.
struct Waiter {
  std::string path;
  std::vector<std::string> heard{};
  bool handedOver = false;
};

void HandOverAndListen(BatchEndpoint& endpoint, Waiter& waiter) {
  const std::unique_ptr<FirstInstanceLink> link = endpoint.Connect();
  if (!link) return;
  waiter.handedOver = link->HandOver(waiter.path);
  while (const std::optional<std::string> message = link->NextMessage()) {
    waiter.heard.push_back(*message);
  }
}

TEST(BatchPipe, TakesWellFormedPathsAndIsHeldUpByNoOne) {
  PipeBatchEndpoint endpoint("BatchPipeTest" + std::to_string(GetCurrentProcessId()));
  // (Wine does not refuse a second first instance, FILE_FLAG_FIRST_PIPE_INSTANCE, so that refusal
  // is not tested here.)
  BatchEndpoint::Listening first = endpoint.Listen();
  ASSERT_TRUE(first.listener);

  // Connected before everyone else, and silent until it is let go.
  const std::unique_ptr<FirstInstanceLink> silent = endpoint.Connect();
  ASSERT_TRUE(silent);

  const std::string longest(kLongestHandedPath, 'y');
  std::vector<Waiter> waiters = {
      {"C:\\Scans\\Rabatt 20%.doc"},               // told its status
      {longest},                                   // its first instance goes after "started"
      {std::string(kLongestHandedPath + 1, 'z')},  // too long: not taken
      {std::string("C:\\a\0b.doc", 10)},           // no file has a NUL in its name
  };
  std::vector<std::thread> threads;
  for (Waiter& waiter : waiters) {
    threads.emplace_back(HandOverAndListen, std::ref(endpoint), std::ref(waiter));
  }

  std::map<std::string, std::unique_ptr<WaiterLink>> taken;
  while (taken.size() < 2) {
    std::optional<Arrival> arrival = first.listener->NextArrival(std::chrono::seconds(10));
    if (!arrival) break;
    arrival->waiter->Tell("started");
    taken[arrival->path] = std::move(arrival->waiter);
  }
  ASSERT_EQ(taken.size(), 2u);
  ASSERT_EQ(taken.count(waiters[0].path), 1u);
  ASSERT_EQ(taken.count(longest), 1u);
  taken[waiters[0].path]->Tell("status 2");
  taken.clear();
  // Nothing else arrives, and the silent client's link ends.
  EXPECT_FALSE(first.listener->NextArrival(std::chrono::milliseconds(2500)));
  EXPECT_EQ(silent->NextMessage(), std::nullopt);
  first.listener.reset();
  for (std::thread& thread : threads) thread.join();

  const std::vector<std::vector<std::string>> heard = {
      {"started", "status 2"}, {"started"}, {}, {}};
  for (std::size_t i = 0; i < waiters.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(waiters[i].heard, heard[i]);
  }
  EXPECT_TRUE(waiters[0].handedOver);
  EXPECT_TRUE(waiters[1].handedOver);

  // The first instance is gone, and its name with it: the next instance becomes the first.
  EXPECT_FALSE(endpoint.Connect());
  EXPECT_TRUE(endpoint.Listen().listener);
}

}  // namespace
}  // namespace kartiva::win32
