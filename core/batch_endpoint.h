#pragma once

// The local endpoint through which the instances of one tool, started together for a selection of
// files, find each other: the first listens and does every file; the others hand their path over
// and wait for its outcome. Only instances of the same tool and the same user in the same session
// meet. Everything that comes through it is input from outside.
//
// What the first instance tells a waiting one, one message at a time:
//   "started"        it begins the waiter's file now; from here on the file may have been done;
//   "failed <text>"  one failure of the file, its box's text on one line (FailedMessage), kept for
//                    the summary that the first instance shows at the end of the batch;
//   "status <n>"     the file's exit status (0, 1 or 2); nothing follows, unless failures came;
//   "shown"          after failures: the summary that names them has been shown and closed.
// A waiter that loses the first instance before "started" does its file itself; one that loses it
// after "started" cannot know whether the file went in, and reports a failure rather than risk
// doing the file twice. One that loses it after its status but before "shown" has a failure that
// nobody has shown: it hands it over as a report (HandOverOf), to be named in the summary of
// whichever instance is first now, or becomes the first and shows it itself.

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kartiva {

// Paths longer than this are not taken through the endpoint.
inline constexpr std::size_t kLongestHandedPath = std::size_t{64} * 1024;
// Messages from the first instance are lines of at most this many bytes, the line break
// included; longer ones are not read.
inline constexpr std::size_t kLongestBatchMessage = 2048;

// What a waiting instance hands over: its path, and, in a report, the failures of its file that
// its first instance ended before showing. A path never holds a NUL byte, which parts them.
struct HandedOver {
  std::string path;
  std::vector<std::string> failures{};  // none: the file is to be done
};
std::string HandOverOf(const HandedOver& handed);
// What `bytes` hand over; none when they are neither a path nor a report.
std::optional<HandedOver> ReadHandOver(std::string_view bytes);

// The message that tells a waiter one failure of its file, cut to fit a message; and the failure
// that a message tells, none when it tells none.
std::string FailedMessage(std::string_view failure);
std::optional<std::string> FailureIn(std::string_view message);

// The first instance's side of one handed-over file.
class WaiterLink {
 public:
  virtual ~WaiterLink() = default;
  // Sends one message; a waiter that has gone is not missed.
  virtual void Tell(std::string_view message) = 0;
};

// The one bound for an instance still on its way, on every platform: a process counts as one for
// this long after its start at the most, and a batch waits for one this long after the last file
// handed over before it ends without it. One that has not met the first instance by then is
// stuck (stopped, or waiting at a box of its own) and holds up no batch for longer. On a loaded
// machine the hundreds of instances of one selection take many seconds to start.
inline constexpr std::chrono::seconds kOnItsWayFor{20};

// A path handed over, with the instance waiting for its outcome.
struct Arrival {
  std::string path;
  std::unique_ptr<WaiterLink> waiter;
};

// The first instance's listening endpoint. It reads the paths of several instances side by side,
// so that one that connects and says nothing holds up no one; it takes none from another user and
// none longer than kLongestHandedPath. Destroying it stops the listening: instances whose path
// was not taken yet see their link end.
class BatchListener {
 public:
  virtual ~BatchListener() = default;
  // The next path handed over, waiting at most `wait` for one; none when none came.
  virtual std::optional<Arrival> NextArrival(std::chrono::milliseconds wait) = 0;
  // Whether another instance of this tool, for the same user, session and store, is running but
  // has not reached this endpoint yet: one started for the same selection and still on its way.
  // The first instance keeps its batch open while one is.
  [[nodiscard]] virtual bool InstancesOnTheirWay() = 0;
};

// A waiting instance's link to the first instance.
class FirstInstanceLink {
 public:
  virtual ~FirstInstanceLink() = default;
  // Hands the path over; false when the first instance is gone.
  virtual bool HandOver(std::string_view path) = 0;
  // Waits for the next message; none once the first instance has gone or ended the link.
  virtual std::optional<std::string> NextMessage() = 0;
};

class BatchEndpoint {
 public:
  virtual ~BatchEndpoint() = default;
  // A link to the first instance; null when none listens.
  virtual std::unique_ptr<FirstInstanceLink> Connect() = 0;

  struct Listening {
    std::unique_ptr<BatchListener> listener;  // set: this instance is the first
    bool taken = false;  // another instance became the first meanwhile: connect to it
  };
  // Starts listening as the first instance. Neither listening nor taken: the endpoint cannot be
  // had (its place is held by something that is not ours), and the instance does its file alone.
  virtual Listening Listen() = 0;
};

}  // namespace kartiva
