#include "platform/win32/batch_pipe.h"

#include <sddl.h>

#include <chrono>
#include <vector>

#include "platform/win32/handle.h"
#include "platform/win32/pipe_listener.h"
#include "platform/win32/utf16.h"

namespace kartiva::win32 {
namespace {

// How long a waiting instance waits for a free pipe instance before it tries to become the first
// itself: a little longer than a silent client may hold one.
constexpr DWORD kConnectWait = 2500;

// The SID, as a string, of the user that `process` runs as; empty when it cannot be read.
std::wstring UserSidOf(HANDLE process) {
  UniqueKernelHandle token;
  if (!OpenProcessToken(process, TOKEN_QUERY, token.Receive())) return {};
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<BYTE> user(size);
  if (size == 0 || !GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) {
    return {};
  }
  UniqueLocalMemory<LPWSTR> text;
  if (!ConvertSidToStringSidW(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid,
                              text.Receive())) {
    return {};
  }
  return text.get();
}

// Opens the pipe as a client, waiting a while for a free instance; none when no one serves it.
UniqueKernelHandle OpenPipe(const std::wstring& name) {
  const ULONGLONG deadline = GetTickCount64() + kConnectWait;
  for (;;) {
    // Identification only: the server may learn who we are, but not act as us.
    UniqueKernelHandle pipe(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING,
                                        SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
    if (pipe || GetLastError() != ERROR_PIPE_BUSY) return pipe;
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline || !WaitNamedPipeW(name.c_str(), static_cast<DWORD>(deadline - now))) {
      return {};
    }
  }
}

class PipeFirstInstanceLink : public FirstInstanceLink {
 public:
  explicit PipeFirstInstanceLink(UniqueKernelHandle pipe) : pipe_(std::move(pipe)) {}

  bool HandOver(std::string_view path) override {
    DWORD written = 0;
    return WriteFile(pipe_.get(), path.data(), static_cast<DWORD>(path.size()), &written,
                     nullptr) &&
           written == path.size();
  }

  // A message longer than any answer (ERROR_MORE_DATA) ends the link like a broken pipe.
  std::optional<std::string> NextMessage() override {
    char message[kLongestBatchMessage];
    DWORD got = 0;
    if (!ReadFile(pipe_.get(), message, sizeof message, &got, nullptr)) return std::nullopt;
    return std::string(message, got);
  }

 private:
  UniqueKernelHandle pipe_;
};

}  // namespace

PipeBatchEndpoint::PipeBatchEndpoint(std::string_view tool)
    : userSid_(UserSidOf(GetCurrentProcess())) {
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &session_)) userSid_.clear();
  name_ =
      L"\\\\.\\pipe\\Kartiva." + Wide(tool) + L"." + std::to_wstring(session_) + L"." + userSid_;
}

std::unique_ptr<FirstInstanceLink> PipeBatchEndpoint::Connect() {
  if (userSid_.empty()) return nullptr;
  UniqueKernelHandle pipe = OpenPipe(name_);
  if (!pipe) return nullptr;
  if (!ServedByThisUser(pipe.get())) {
    squatted_ = true;
    return nullptr;
  }
  DWORD mode = PIPE_READMODE_MESSAGE;
  if (!SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr)) return nullptr;
  return std::make_unique<PipeFirstInstanceLink>(std::move(pipe));
}

BatchEndpoint::Listening PipeBatchEndpoint::Listen() {
  if (userSid_.empty()) return {};
  // Protected, with one entry: full access for this user, none for anyone else.
  const std::wstring descriptor = L"D:P(A;;GA;;;" + userSid_ + L")";
  UniqueSecurityDescriptor security;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(descriptor.c_str(), SDDL_REVISION_1,
                                                            security.Receive(), nullptr)) {
    return {};
  }
  UniqueKernelHandle first =
      CreatePipeInstance(name_, security.get(), FILE_FLAG_FIRST_PIPE_INSTANCE);
  if (!first) {
    return {.listener = nullptr, .taken = !squatted_ && GetLastError() == ERROR_ACCESS_DENIED};
  }
  return {.listener =
              std::make_unique<PipeBatchListener>(name_, std::move(security), std::move(first))};
}

bool PipeBatchEndpoint::ServedByThisUser(HANDLE pipe) const {
  ULONG serverId = 0;
  DWORD serverSession = 0;
  if (!GetNamedPipeServerProcessId(pipe, &serverId) ||
      !ProcessIdToSessionId(serverId, &serverSession) || serverSession != session_) {
    return false;
  }
  const UniqueKernelHandle server(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, serverId));
  return server && UserSidOf(server.get()) == userSid_;
}

}  // namespace kartiva::win32
