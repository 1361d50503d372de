#pragma once

#include <windows.h>

#include "core/client_check_lock.h"
#include "platform/win32/handle.h"

namespace kartiva::win32 {

// The client check's lock on Windows: a named mutex in the user's session, which Windows hands on
// when its holder dies, and beside it a small named shared memory with the moment of the last
// "No". The memory lives as long as any instance has it open; every instance opens it before it
// waits, so a "No" reaches all instances that were waiting.
class NamedClientCheckLock : public ClientCheckLock {
 public:
  NamedClientCheckLock() = default;
  NamedClientCheckLock(const NamedClientCheckLock&) = delete;
  NamedClientCheckLock& operator=(const NamedClientCheckLock&) = delete;
  ~NamedClientCheckLock() override;

  bool Acquire() override;
  void Release() override;
  std::optional<CheckTime> LastDecline() override;
  void RecordDecline(CheckTime at) override;

 private:
  UniqueKernelHandle mutex_;
  UniqueKernelHandle declineMemory_;
  CheckTime* lastDecline_ = nullptr;  // the view of declineMemory_, 0 while no "No" is recorded
};

}  // namespace kartiva::win32
