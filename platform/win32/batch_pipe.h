#pragma once

// The batch endpoint on Windows: the named pipe "\\.\pipe\Kartiva.<tool>.<session>.<user SID>".
// Only this user can open it (a DACL with the user alone) and only from this machine. The first
// instance creates it with FILE_FLAG_FIRST_PIPE_INSTANCE, so that a name that something else holds
// is never served alongside; a waiting instance hands its path only to a pipe served by a process
// of this user in this session, which tells an instance of ours from a squatter of another user.
// Every message is one pipe message: the path in UTF-8 one way, the first instance's answers the
// other.

#include <windows.h>

#include <string>
#include <string_view>

#include "core/batch_endpoint.h"

namespace kartiva::win32 {

class PipeBatchEndpoint : public BatchEndpoint {
 public:
  // `tool` names the pipe, so that only instances of one tool meet.
  explicit PipeBatchEndpoint(std::string_view tool);

  std::unique_ptr<FirstInstanceLink> Connect() override;
  // A name that exists already counts as taken, unless Connect found it served by someone else:
  // then the instance does its file alone.
  Listening Listen() override;

 private:
  bool ServedByThisUser(HANDLE pipe) const;

  DWORD session_ = 0;
  std::wstring userSid_;  // empty when it cannot be read: then no instance meets another
  std::wstring name_;
  bool squatted_ = false;  // the pipe's name is held by a process of another user or session
};

}  // namespace kartiva::win32
