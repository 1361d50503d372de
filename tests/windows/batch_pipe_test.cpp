// The named pipe through which the instances of a batch meet, both ends in this process: the
// first instance takes well-formed paths only, a client that says nothing holds up no one, a waiter
// notices when its first instance goes, and there is one first instance at a time.

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <atomic>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/batch_pipe.h"
#include "platform/win32/client_check_lock.h"
#include "platform/win32/user_session.h"
#include "platform/win32/utf16.h"

namespace kartiva::win32 {
namespace {

std::string PipeTool() { return "BatchPipeTest" + std::to_string(GetCurrentProcessId()); }

// What a waiting instance sent, and the messages it received until its link ended. A raw one
// writes its bytes into the pipe as a hostile client of the same user would.
struct Waiter {
  std::string path;
  bool raw = false;
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

void WriteRawAndListen(Waiter& waiter) {
  const std::wstring name = L"\\\\.\\pipe\\Kartiva." + Wide(PipeTool()) + L"." + MeetingKey();
  HANDLE pipe = INVALID_HANDLE_VALUE;
  for (int tries = 0; tries < 100 && pipe == INVALID_HANDLE_VALUE; ++tries) {
    pipe = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                       nullptr);
    if (pipe == INVALID_HANDLE_VALUE) Sleep(20);
  }
  if (pipe == INVALID_HANDLE_VALUE) return;
  DWORD mode = PIPE_READMODE_MESSAGE;
  SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
  DWORD bytes = 0;
  waiter.handedOver =
      WriteFile(pipe, waiter.path.data(), static_cast<DWORD>(waiter.path.size()), &bytes, nullptr);
  char message[kLongestBatchMessage];
  while (ReadFile(pipe, message, sizeof message, &bytes, nullptr)) {
    waiter.heard.emplace_back(message, bytes);
  }
  CloseHandle(pipe);
}

TEST(BatchPipe, TakesWellFormedPathsAndIsHeldUpByNoOne) {
  PipeBatchEndpoint endpoint(PipeTool());
  BatchEndpoint::Listening first = endpoint.Listen();
  ASSERT_TRUE(first.listener);
  // One first instance at a time, also where the pipe itself does not refuse a second (Wine
  // ignores FILE_FLAG_FIRST_PIPE_INSTANCE).
  std::thread([&] {
    const BatchEndpoint::Listening second = endpoint.Listen();
    EXPECT_FALSE(second.listener);
    EXPECT_TRUE(second.taken);
  }).join();

  // Connected before everyone else, and silent until it is let go.
  const std::unique_ptr<FirstInstanceLink> silent = endpoint.Connect();
  ASSERT_TRUE(silent);

  const std::string longest(kLongestHandedPath, 'y');
  std::vector<Waiter> waiters = {
      {"C:\\Scans\\Rabatt 20%.doc"},                     // told its status
      {longest},                                         // its first instance goes after "started"
      {std::string(kLongestHandedPath + 1, 'z'), true},  // too long: not taken
      {std::string("C:\\a\0b.doc", 10), true},           // no file has a NUL in its name
  };
  std::vector<std::thread> threads;
  for (Waiter& waiter : waiters) {
    if (waiter.raw) {
      threads.emplace_back(WriteRawAndListen, std::ref(waiter));
    } else {
      threads.emplace_back(HandOverAndListen, std::ref(endpoint), std::ref(waiter));
    }
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
    EXPECT_TRUE(waiters[i].handedOver);
  }

  // The first instance is gone, and its name and lock with it: the next instance becomes the
  // first.
  EXPECT_FALSE(endpoint.Connect());
  EXPECT_TRUE(endpoint.Listen().listener);
}

// Instances whose windows would appear on another desktop do their own batch: neither finds the
// other's pipe, and both can be first.
TEST(BatchPipe, AnotherDesktopIsAnotherBatch) {
  PipeBatchEndpoint endpoint(PipeTool());
  BatchEndpoint::Listening first = endpoint.Listen();
  ASSERT_TRUE(first.listener);
  const HDESK desktop = CreateDesktopW(L"KartivaBatchPipeTest", nullptr, nullptr, 0,
                                       DESKTOP_CREATEWINDOW | DESKTOP_READOBJECTS, nullptr);
  ASSERT_NE(desktop, nullptr);
  const std::wstring here = MeetingKey();
  std::thread([&] {
    ASSERT_TRUE(SetThreadDesktop(desktop));
    EXPECT_NE(MeetingKey(), here);
    PipeBatchEndpoint elsewhere(PipeTool());
    EXPECT_FALSE(elsewhere.Connect());
    const BatchEndpoint::Listening other = elsewhere.Listen();
    EXPECT_TRUE(other.listener);
  }).join();
  CloseDesktop(desktop);
}

// A process of this program in this user session that has not connected is on its way; one that
// has ended is not, and neither is this one.
TEST(BatchPipe, KnowsTheInstancesOnTheirWay) {
  PipeBatchEndpoint endpoint(PipeTool());
  BatchEndpoint::Listening first = endpoint.Listen();
  ASSERT_TRUE(first.listener);
  EXPECT_FALSE(first.listener->InstancesOnTheirWay());

  wchar_t program[MAX_PATH];
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  std::wstring commandLine = L"\"" + std::wstring(program) + L"\" --gtest_list_tests";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                             nullptr, nullptr, &startup, &process));
  const bool whileStarting = first.listener->InstancesOnTheirWay();
  TerminateProcess(process.hProcess, 0);
  WaitForSingleObject(process.hProcess, INFINITE);
  EXPECT_TRUE(whileStarting);
  EXPECT_FALSE(first.listener->InstancesOnTheirWay());
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

// An object under `name` that another user (the system) made first, with access for everyone: a
// mutex, or with `size` shared memory; null where the system does not let this test make an object
// of another owner.
UniqueKernelHandle Squat(const std::wstring& name, DWORD size = 0) {
  UniqueSecurityDescriptor security;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:SYD:P(A;;GA;;;WD)", SDDL_REVISION_1,
                                                            security.Receive(), nullptr)) {
    return {};
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, security.get(), FALSE};
  const std::wstring local = L"Local\\" + name;
  UniqueKernelHandle object(size == 0 ? CreateMutexW(&attributes, FALSE, local.c_str())
                                      : CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes,
                                                           PAGE_READWRITE, 0, size, local.c_str()));
  PSID owner = nullptr;
  UniqueSecurityDescriptor facts;
  UniqueLocalMemory<LPWSTR> text;
  if (!object ||
      GetSecurityInfo(object.get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                      nullptr, nullptr, facts.Receive()) != ERROR_SUCCESS ||
      !ConvertSidToStringSidW(owner, text.Receive()) || std::wstring(text.get()) != L"S-1-5-18") {
    return {};
  }
  return object;
}

// Names that another user made first still give one lock and one record of the user's own: the
// start question's lock, which one instance at a time holds, its record of the last "No", which a
// stranger cannot answer for the user, and the first instance's lock, with one first instance at
// a time.
TEST(BatchPipe, SquattedLockNamesGiveLocksOfTheUsersOwn) {
  const UniqueKernelHandle question = Squat(L"KartivaExplorerTools.ClientCheck." + MeetingKey());
  const UniqueKernelHandle first =
      Squat(L"Kartiva." + Wide(PipeTool()) + L".First." + MeetingKey());
  const UniqueKernelHandle decline =
      Squat(L"KartivaExplorerTools.LastDecline." + MeetingKey(), sizeof(CheckTime));
  if (!question || !first || !decline)
    GTEST_SKIP() << "no object of another owner can be made here";
  auto* const fakeNo = static_cast<CheckTime*>(
      MapViewOfFile(decline.get(), FILE_MAP_WRITE, 0, 0, sizeof(CheckTime)));
  ASSERT_NE(fakeNo, nullptr);
  *fakeNo = CheckTimeNow();

  NamedClientCheckLock asking;
  ASSERT_TRUE(asking.Acquire());
  std::atomic<bool> next = false;
  std::thread waiting([&] {
    NamedClientCheckLock lock;
    next = lock.Acquire();
    lock.Release();
  });
  Sleep(300);
  EXPECT_FALSE(next) << "two instances hold the start question's lock";
  EXPECT_EQ(asking.LastDecline(), std::nullopt) << "a stranger's record was read";
  asking.RecordDecline(CheckTimeNow());
  const CheckTime strangers = *fakeNo;
  asking.Release();
  waiting.join();
  EXPECT_TRUE(next);
  NamedClientCheckLock again;
  ASSERT_TRUE(again.Acquire());
  EXPECT_NE(again.LastDecline(), std::nullopt);
  EXPECT_NE(again.LastDecline(), strangers);
  again.Release();
  EXPECT_EQ(*fakeNo, strangers) << "the user's \"No\" went into a stranger's record";
  UnmapViewOfFile(fakeNo);

  PipeBatchEndpoint endpoint(PipeTool());
  BatchEndpoint::Listening listening = endpoint.Listen();
  ASSERT_TRUE(listening.listener);
  std::thread([&] { EXPECT_TRUE(endpoint.Listen().taken); }).join();
}

}  // namespace
}  // namespace kartiva::win32
