#pragma once

// Who an instance runs as and where it shows itself: what decides which Kartiva client its toolkit
// object reaches (the user, the Windows session, the logon session, which an elevated instance has
// of its own) and on which screen its windows appear (the window station and desktop). Instances
// that differ in any of these never share a batch or a start question.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/win32/handle.h"

namespace kartiva::win32 {

struct UserSession {
  std::wstring sid;  // the user's SID as a string
  DWORD session = 0;
  LUID logon{};

  bool operator==(const UserSession& other) const {
    return sid == other.sid && session == other.session && logon.LowPart == other.logon.LowPart &&
           logon.HighPart == other.logon.HighPart;
  }
};

// The user session of `process`; none when it cannot be read.
std::optional<UserSession> UserSessionOf(HANDLE process);

// The name part that keys this process's meeting places: its user session and its desktop, in
// characters that every object and pipe name takes. Empty when the session cannot be read: then
// this process meets no other.
std::wstring MeetingKey();

// A security descriptor that gives the user `sid` the object, with access for that user alone;
// null when it cannot be made.
UniqueSecurityDescriptor UserOnlySecurity(const std::wstring& sid);

// A mutex of this user's, `name` in the session's own namespace, created with access for the user
// alone. Where another user holds the name (a lock that someone else can hold is no lock), the
// user's own name instead: `name` with a secret word kept in the user's own folder of the local
// application data. Null when neither can be had.
UniqueKernelHandle OwnMutex(const std::wstring& name);

// Shared memory of this user's, `size` bytes, zero-filled when new, named as OwnMutex names its
// mutex: a record that another user made first under the name is never read or written.
UniqueKernelHandle OwnSharedMemory(const std::wstring& name, DWORD size);

// The other processes that run this process's program file in its user session and started less
// than kOnItsWayFor (batch_endpoint.h) ago: instances of the same tool that may be on their way to
// meet it.
std::vector<DWORD> OtherInstancesOfThisProgram();

}  // namespace kartiva::win32
