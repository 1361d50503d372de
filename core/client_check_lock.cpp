#include "core/client_check_lock.h"

#include <chrono>
#include <utility>

namespace kartiva {

CheckTime CheckTimeNow() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
}

ClientCheckTurn::ClientCheckTurn(ClientCheckLock& lock, std::function<CheckTime()> started)
    : lock_(lock), started_(std::move(started)), held_(lock.Acquire()) {}

ClientCheckTurn::~ClientCheckTurn() {
  if (held_) lock_.Release();
}

bool ClientCheckTurn::DeclinedWhileWaiting() const {
  if (!held_) return false;
  const std::optional<CheckTime> declined = lock_.LastDecline();
  // A "No" given well before this instance started was meant for the instances of then; this one
  // asks again. One given since just before then was meant for it too: the selection it belongs to
  // may have been answered by an instance it never met, such as the first of a batch it came too
  // late for, or one that the file manager started a moment before it.
  return declined && *declined >= started_() - kDeclineCovers;
}

void ClientCheckTurn::RecordDecline() {
  if (held_) lock_.RecordDecline(CheckTimeNow());
}

}  // namespace kartiva
