#pragma once

// The Explorer starts one instance of a tool per selected file, all at once. With the client
// stopped, each would ask whether to start it. The instances therefore take the client check one
// at a time, through a lock that the platform shares between them: the first asks and starts the
// client, the next ones find it running; and a user's "No" is passed on to the instances that had
// already started, so that they end without asking again.

#include <cstdint>
#include <functional>
#include <optional>

namespace kartiva {

// A moment on the system clock, in nanoseconds since 1970.
using CheckTime = std::int64_t;

CheckTime CheckTimeNow();

// How long before an instance started a "No" still answers for it, in nanoseconds: a file manager
// on a loaded machine starts the last instances of a selection a moment after the user said "No"
// to the first. Shorter than the time the instance that asked goes on answering latecomers (the
// batch's settle time), so that a tool started anew once it has ended asks again.
inline constexpr CheckTime kDeclineCovers = CheckTime{400'000'000};

// The lock that the instances of the tools share, with the moment of the last "No" kept beside it.
class ClientCheckLock {
 public:
  virtual ~ClientCheckLock() = default;
  // Waits until no other instance holds the lock, then holds it. False when the platform cannot
  // offer the lock; the check then runs on its own, as it would without other instances.
  virtual bool Acquire() = 0;
  virtual void Release() = 0;
  // The moment of the last "No", kept while the lock is held; none when none is recorded.
  virtual std::optional<CheckTime> LastDecline() = 0;
  virtual void RecordDecline(CheckTime at) = 0;
};

// One instance's turn at the client check: it waits for the turn when made, and lets the next
// instance in when it goes, also when the program ends inside the check.
class ClientCheckTurn {
 public:
  // `started` is the moment the instance started: a "No" given since kDeclineCovers before then
  // answers for it too.
  ClientCheckTurn(ClientCheckLock& lock, std::function<CheckTime()> started);
  ~ClientCheckTurn();
  ClientCheckTurn(const ClientCheckTurn&) = delete;
  ClientCheckTurn& operator=(const ClientCheckTurn&) = delete;

  // Whether the user said "No" to another instance since this one started.
  bool DeclinedWhileWaiting() const;
  // Passes this user's "No" on to the instances waiting now.
  void RecordDecline();

 private:
  ClientCheckLock& lock_;
  std::function<CheckTime()> started_;
  bool held_;
};

}  // namespace kartiva
