#pragma once

// The first instance's side of the Windows batch endpoint. A named pipe takes one client per
// instance, so the listener keeps a number of instances waiting for a connection; a waiting
// instance's connection and its path land in the pipe while the first instance is busy with a
// file, and are read the next time it looks. Every instance works overlapped behind one event, so
// one that connects and says nothing holds up no one and is let go after kSilentLimit.

#include <windows.h>

#include <chrono>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/batch_endpoint.h"
#include "platform/win32/handle.h"

namespace kartiva::win32 {

// How long a connection may take to hand its path over.
inline constexpr std::chrono::milliseconds kSilentLimit{2000};
// How many instances wait for a connection, renewed each time the listener looks: as many as the
// Explorer starts for one selection, so that a whole selection can hand its paths over while the
// first instance asks its question or does a long file.
inline constexpr std::size_t kFreeInstances = 100;
// The most instances at once, connected ones included; further clients wait for a free one.
inline constexpr std::size_t kMostPending = 160;

// A new server instance of the pipe `name`, overlapped, in message mode, for local clients only,
// with the security descriptor `security`. `firstFlag` is FILE_FLAG_FIRST_PIPE_INSTANCE for the
// instance that must be the pipe's first, else 0.
UniqueKernelHandle CreatePipeInstance(const std::wstring& name, PSECURITY_DESCRIPTOR security,
                                      DWORD firstFlag);

class PipeBatchListener : public BatchListener {
 public:
  // Serves the pipe `name` whose first instance is `first`; new instances get `security`. The
  // name goes with the last instance: when the listener and every link it handed out are gone.
  // `firstLock`, a mutex this thread holds (or null), is let go once the listener has stopped.
  PipeBatchListener(std::wstring name, UniqueSecurityDescriptor security, UniqueKernelHandle first,
                    UniqueKernelHandle firstLock);
  ~PipeBatchListener() override;
  PipeBatchListener(const PipeBatchListener&) = delete;
  PipeBatchListener& operator=(const PipeBatchListener&) = delete;

  std::optional<Arrival> NextArrival(std::chrono::milliseconds wait) override;
  // Another process of this program in this user session that has not connected yet.
  bool InstancesOnTheirWay() override;

 private:
  using Clock = std::chrono::steady_clock;
  struct Instance;

  void Listen(std::unique_ptr<Instance> instance);
  bool StartReading(Instance& instance);
  bool Collect(Clock::time_point now);
  bool Advance(Instance& instance, Clock::time_point now);
  void Deliver(Instance& instance, DWORD bytes);
  void TopUp();
  Clock::time_point NextSilentDrop(Clock::time_point deadline) const;

  UniqueKernelHandle firstLock_;
  std::wstring name_;
  UniqueSecurityDescriptor security_;
  UniqueKernelHandle event_;  // set whenever an instance's connection or read completes
  std::vector<std::unique_ptr<Instance>> instances_;
  std::deque<Arrival> ready_;
  std::set<DWORD> clients_;  // the process of every client that ever connected
};

// The first instance's link to one waiting instance: the connected pipe instance.
class PipeWaiterLink : public WaiterLink {
 public:
  explicit PipeWaiterLink(UniqueKernelHandle pipe) : pipe_(std::move(pipe)) {}
  void Tell(std::string_view message) override;

 private:
  UniqueKernelHandle pipe_;
};

}  // namespace kartiva::win32
