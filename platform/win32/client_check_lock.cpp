#include "platform/win32/client_check_lock.h"

#include "platform/win32/user_session.h"

namespace kartiva::win32 {
namespace {

// The objects of the user's own session ("Local\"), keyed on all that decides which client the
// check asks about: instances of another user session never wait for each other's question.
std::wstring ObjectName(std::wstring_view what) {
  return L"KartivaExplorerTools." + std::wstring(what) + L"." + MeetingKey();
}

}  // namespace

NamedClientCheckLock::~NamedClientCheckLock() {
  if (lastDecline_) UnmapViewOfFile(lastDecline_);
}

bool NamedClientCheckLock::Acquire() {
  // New shared memory comes zero-filled: no "No" recorded. One that another user made first is
  // never taken for the user's own, or a stranger could answer "No" for the user.
  if (!declineMemory_.get()) {
    declineMemory_ = OwnSharedMemory(ObjectName(L"LastDecline"), sizeof(CheckTime));
  }
  if (declineMemory_.get() && !lastDecline_) {
    lastDecline_ = static_cast<CheckTime*>(MapViewOfFile(
        declineMemory_.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(CheckTime)));
  }
  // A name that another user holds gives no lock: the check then runs on its own.
  mutex_ = OwnMutex(ObjectName(L"ClientCheck"));
  if (!mutex_.get()) return false;
  // The thread owns no window yet, so waiting without pumping messages keeps nobody waiting on it.
  // A mutex whose holder died (WAIT_ABANDONED) is held by this thread all the same.
  const DWORD waited = WaitForSingleObject(mutex_.get(), INFINITE);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return true;
  mutex_.reset();
  return false;
}

void NamedClientCheckLock::Release() {
  ReleaseMutex(mutex_.get());
  mutex_.reset();
}

std::optional<CheckTime> NamedClientCheckLock::LastDecline() {
  if (!lastDecline_ || *lastDecline_ == 0) return std::nullopt;
  return *lastDecline_;
}

void NamedClientCheckLock::RecordDecline(CheckTime at) {
  if (lastDecline_) *lastDecline_ = at;
}

}  // namespace kartiva::win32
