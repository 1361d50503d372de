#include "core/client_check_lock.h"

#include <chrono>

namespace kartiva {

CheckTime CheckTimeNow() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
}

ClientCheckTurn::ClientCheckTurn(ClientCheckLock& lock)
    : lock_(lock), waitingSince_(CheckTimeNow()), held_(lock.Acquire()) {}

ClientCheckTurn::~ClientCheckTurn() {
  if (held_) lock_.Release();
}

bool ClientCheckTurn::DeclinedWhileWaiting() const {
  if (!held_) return false;
  const std::optional<CheckTime> declined = lock_.LastDecline();
  // A "No" given before this instance began to wait was meant for the instances of then; this one
  // asks again.
  return declined && *declined >= waitingSince_;
}

void ClientCheckTurn::RecordDecline() {
  if (held_) lock_.RecordDecline(CheckTimeNow());
}

}  // namespace kartiva
