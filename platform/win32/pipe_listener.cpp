#include "platform/win32/pipe_listener.h"

#include <algorithm>

#include "platform/win32/user_session.h"

namespace kartiva::win32 {
namespace {

// Answers are a few bytes; a path of common length fits into the pipe at once, a longer one is
// taken as the listener reads.
constexpr DWORD kOutBuffer = 512;
constexpr DWORD kInBuffer = 4096;
// How long telling a waiter may take before it is given up: it reads, or it has gone.
constexpr DWORD kTellWait = 200;

DWORD MillisecondsUntil(std::chrono::steady_clock::time_point deadline) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return static_cast<DWORD>(std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, 60'000));
}

constexpr std::chrono::seconds kCancelLimit{2};

// Cancels the operation under `overlapped` and waits, until `deadline` at most, for it to let go
// of it. False when it has not: Wine has been seen to leave a cancelled wait for a client pending,
// and then the caller keeps the OVERLAPPED alive, since the system may still write to it.
bool Abandon(HANDLE pipe, OVERLAPPED& overlapped, std::chrono::steady_clock::time_point deadline) {
  if (HasOverlappedIoCompleted(&overlapped)) return true;
  CancelIoEx(pipe, &overlapped);
  // The event is shared with the other instances, so it cannot tell this one's end.
  while (!HasOverlappedIoCompleted(&overlapped)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    Sleep(1);
  }
  return true;
}

}  // namespace

struct PipeBatchListener::Instance {
  UniqueKernelHandle pipe;
  OVERLAPPED overlapped{};
  bool connected = false;
  bool abandoned = false;  // dropped, but its cancelled operation has not let go yet
  Clock::time_point since{};
  std::string received{};
};

UniqueKernelHandle CreatePipeInstance(const std::wstring& name, PSECURITY_DESCRIPTOR security,
                                      DWORD firstFlag) {
  SECURITY_ATTRIBUTES attributes{sizeof attributes, security, FALSE};
  return UniqueKernelHandle(CreateNamedPipeW(
      name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | firstFlag,
      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
      PIPE_UNLIMITED_INSTANCES, kOutBuffer, kInBuffer, 0, &attributes));
}

PipeBatchListener::PipeBatchListener(std::wstring name, UniqueSecurityDescriptor security,
                                     UniqueKernelHandle first, UniqueKernelHandle firstLock)
    : firstLock_(std::move(firstLock)),
      name_(std::move(name)),
      security_(std::move(security)),
      event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  if (!event_) return;  // an instance that cannot wait takes no one: they do their files alone
  auto instance = std::make_unique<Instance>();
  instance->pipe = std::move(first);
  Listen(std::move(instance));
  TopUp();
}

PipeBatchListener::~PipeBatchListener() {
  const auto deadline = Clock::now() + kCancelLimit;
  for (std::unique_ptr<Instance>& instance : instances_) {
    // One whose operation never let go is left to the end of the process, never freed under it.
    if (!Abandon(instance->pipe.get(), instance->overlapped, deadline)) {
      static_cast<void>(instance.release());
    }
  }
  // The pipe's name goes before the lock, so that the next first instance finds it free.
  instances_.clear();
  ready_.clear();
  if (firstLock_) ReleaseMutex(firstLock_.get());
}

std::optional<Arrival> PipeBatchListener::NextArrival(std::chrono::milliseconds wait) {
  const Clock::time_point deadline = Clock::now() + wait;
  while (event_) {
    if (!ready_.empty()) {
      Arrival arrival = std::move(ready_.front());
      ready_.pop_front();
      return arrival;
    }
    ResetEvent(event_.get());
    const Clock::time_point now = Clock::now();
    const bool moved = Collect(now);
    TopUp();
    if (moved) continue;  // what a step started may have finished at once
    if (now >= deadline) break;
    WaitForSingleObject(event_.get(), MillisecondsUntil(NextSilentDrop(deadline)));
  }
  return std::nullopt;
}

bool PipeBatchListener::InstancesOnTheirWay() {
  const std::vector<DWORD> instances = OtherInstancesOfThisProgram();
  return std::any_of(instances.begin(), instances.end(),
                     [this](DWORD id) { return !clients_.contains(id); });
}

// Starts waiting for a client on a fresh instance; keeps it unless it failed.
void PipeBatchListener::Listen(std::unique_ptr<Instance> instance) {
  instance->overlapped = OVERLAPPED{};
  instance->overlapped.hEvent = event_.get();
  const bool waiting = ConnectNamedPipe(instance->pipe.get(), &instance->overlapped) ||
                       GetLastError() == ERROR_IO_PENDING;
  // A client that came before the wait began is connected already: its path is read at once.
  if (waiting || (GetLastError() == ERROR_PIPE_CONNECTED && StartReading(*instance))) {
    instances_.push_back(std::move(instance));
  }
}

// Reads the connected client's path; false when the read failed at once.
bool PipeBatchListener::StartReading(Instance& instance) {
  instance.connected = true;
  if (ULONG client = 0; GetNamedPipeClientProcessId(instance.pipe.get(), &client)) {
    clients_.insert(client);
  }
  instance.since = Clock::now();
  instance.received.resize(kLongestHandedPath);
  instance.overlapped = OVERLAPPED{};
  instance.overlapped.hEvent = event_.get();
  // ERROR_MORE_DATA has completed the read too: Advance finds the path too long.
  return ReadFile(instance.pipe.get(), instance.received.data(),
                  static_cast<DWORD>(instance.received.size()), nullptr, &instance.overlapped) ||
         GetLastError() == ERROR_IO_PENDING || GetLastError() == ERROR_MORE_DATA;
}

// Moves every instance on by what happened to it; true when any did.
bool PipeBatchListener::Collect(Clock::time_point now) {
  bool moved = false;
  std::vector<std::unique_ptr<Instance>> still;
  for (std::unique_ptr<Instance>& instance : instances_) {
    const bool wasConnected = instance->connected;
    if (Advance(*instance, now)) {
      moved = moved || instance->connected != wasConnected;
      still.push_back(std::move(instance));
    } else {
      moved = true;
    }
  }
  instances_ = std::move(still);
  return moved;
}

// False once the instance is done with: its path handed on, or the instance dropped.
bool PipeBatchListener::Advance(Instance& instance, Clock::time_point now) {
  if (!HasOverlappedIoCompleted(&instance.overlapped)) {
    if (instance.abandoned || !instance.connected || now - instance.since < kSilentLimit) {
      return true;
    }
    if (Abandon(instance.pipe.get(), instance.overlapped, now + kCancelLimit)) return false;
    instance.abandoned = true;
    return true;
  }
  DWORD bytes = 0;
  const bool done = GetOverlappedResult(instance.pipe.get(), &instance.overlapped, &bytes, FALSE);
  if (!instance.connected) return done && StartReading(instance);
  if (done) Deliver(instance, bytes);
  return false;
}

void PipeBatchListener::Deliver(Instance& instance, DWORD bytes) {
  instance.received.resize(bytes);
  instance.received.shrink_to_fit();  // the room for the longest path goes
  if (!ReadHandOver(instance.received)) return;
  ready_.push_back(
      {std::move(instance.received), std::make_unique<PipeWaiterLink>(std::move(instance.pipe))});
}

// Keeps kFreeInstances instances waiting for clients.
void PipeBatchListener::TopUp() {
  auto waiting = static_cast<std::size_t>(
      std::count_if(instances_.begin(), instances_.end(),
                    [](const auto& instance) { return !instance->connected; }));
  for (; waiting < kFreeInstances && instances_.size() < kMostPending; ++waiting) {
    auto instance = std::make_unique<Instance>();
    instance->pipe = CreatePipeInstance(name_, security_.get(), 0);
    if (!instance->pipe) return;
    Listen(std::move(instance));
  }
}

// The deadline, or the moment before it when a silent connection is due to be dropped.
PipeBatchListener::Clock::time_point PipeBatchListener::NextSilentDrop(
    Clock::time_point deadline) const {
  for (const std::unique_ptr<Instance>& instance : instances_) {
    if (instance->connected && !instance->abandoned) {
      deadline = std::min(deadline, instance->since + kSilentLimit);
    }
  }
  return deadline;
}

void PipeWaiterLink::Tell(std::string_view message) {
  const UniqueKernelHandle written(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!written) return;
  OVERLAPPED overlapped{};
  overlapped.hEvent = written.get();
  if (!WriteFile(pipe_.get(), message.data(), static_cast<DWORD>(message.size()), nullptr,
                 &overlapped) &&
      GetLastError() != ERROR_IO_PENDING) {
    return;  // the waiter has gone
  }
  // A waiter that has stopped reading is not waited for.
  if (WaitForSingleObject(written.get(), kTellWait) != WAIT_OBJECT_0) {
    CancelIoEx(pipe_.get(), &overlapped);
  }
  DWORD bytes = 0;
  GetOverlappedResult(pipe_.get(), &overlapped, &bytes, TRUE);
}

}  // namespace kartiva::win32
