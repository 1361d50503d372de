#pragma once

// Whether something outside the store changed a basket or archive folder since the store last
// wrote to it. Every operation records the folder's change time after its own changes; a folder
// whose change time differs from the recorded one was changed by someone else (a user who deleted
// or dropped a file, a store made before the stamp, a process killed after its change), and only
// then is the whole folder read to repair it. The stamp is "<folder>/.inflight/stamp".

#include <string>

namespace kartiva::localstore {

bool ChangedFromOutside(const std::string& folder);
// Best effort: a stamp that cannot be written costs one more repair later, nothing else.
void RecordFolderStamp(const std::string& folder);

}  // namespace kartiva::localstore
