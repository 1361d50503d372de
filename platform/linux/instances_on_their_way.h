#pragma once

// Which instances of this program are still on their way to the first instance of a batch. A file
// manager starts one instance per selected file; on a loaded machine some of them reach the
// endpoint long after the first has done the files of the others. Read from /proc.

#include <sys/types.h>

#include <chrono>
#include <set>

#include "core/batch_endpoint.h"
#include "core/client_check_lock.h"

namespace kartiva::linux_os {

// How long the parent of an instance counts as still starting instances, and a process it forked
// as about to start this program: starting a program takes milliseconds, even on a loaded machine.
inline constexpr std::chrono::seconds kStartingFor{2};

// Whether a process other than this one and those in `met` is an instance on its way: a process of
// this user that runs this program's file with an argument and the same meeting variables
// (meeting_key.h), started less than kOnItsWayFor ago; or a process that the parent of this one
// started just as it started this one, and that is not yet running a program of its own; or the
// parent itself, while it is young and still busy starting them. Only the parent's children are
// looked at, as the kernel lists them: a file manager, or the runner of its entries, starts every
// instance of a selection itself.
[[nodiscard]] bool OthersOnTheirWay(const std::set<pid_t>& met);

// The moment this process started, as the kernel knows it: on a loaded machine a program may get
// to its first line seconds later. Now, where /proc cannot tell.
CheckTime ThisProcessesStart();

}  // namespace kartiva::linux_os
