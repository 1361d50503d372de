#pragma once

// The batch endpoint on Windows: the named pipe "\\.\pipe\Kartiva.<tool>.<meeting key>", the key
// naming the user session and desktop (user_session.h). Only this user can open it (a DACL with the
// user alone) and only from this machine. The first instance holds a mutex of the user's own while
// it listens, and creates the pipe with FILE_FLAG_FIRST_PIPE_INSTANCE, so that there is one first
// instance at a time (Wine ignores the flag); it goes without the flag only under its lock, where
// the links of the batch before may still hold the name. A waiting instance hands its path only to
// a pipe served by a process of this user in this user session, which tells an instance of ours
// from a squatter of another user. Every message
// is one pipe message: the path in UTF-8 one way, the first instance's answers the other.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "core/batch_endpoint.h"
#include "platform/win32/handle.h"
#include "platform/win32/user_session.h"

namespace kartiva::win32 {

class PipeBatchEndpoint : public BatchEndpoint {
 public:
  // `tool` names the pipe, so that only instances of one tool meet.
  explicit PipeBatchEndpoint(std::string_view tool);

  // Waits while a first instance lives but cannot take the connection yet (it asks its question,
  // or does a file while every pipe instance is taken), so that a selection of any size, at any
  // pace, is one batch.
  std::unique_ptr<FirstInstanceLink> Connect() override;
  // A first instance that holds the lock counts as taken. A name that exists already while this
  // instance holds the lock is a squatter's, and one that Connect found served by someone else
  // too: then the instance does its file alone. (Without a lock of the user's own, an existing
  // name counts as taken, unless Connect found it served by someone else.)
  Listening Listen() override;

 private:
  UniqueKernelHandle OpenPipe() const;
  bool FirstInstanceLives() const;
  bool ServedByThisUser(HANDLE pipe) const;

  std::optional<UserSession> user_;  // none when it cannot be read: then no instance meets another
  std::wstring name_;
  std::wstring lockName_;
  bool squatted_ = false;  // the pipe's name is held by a process of another user or session
};

}  // namespace kartiva::win32
