#include "platform/win32/batch_pipe.h"

#include "platform/win32/pipe_listener.h"
#include "platform/win32/utf16.h"

namespace kartiva::win32 {
namespace {

// How long a waiting instance waits for a free pipe instance before it looks again whether the
// first instance still lives: a little longer than a silent client may hold one.
constexpr DWORD kConnectWait = 2500;
// The pause before a waiting instance looks again for a pipe that a living first instance has not
// created yet, or has just taken away on its way out.
constexpr DWORD kLookAgain = 20;
// How long an instance that would be the first waits for the lock before it counts as taken.
constexpr DWORD kLockWait = 100;

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
    : user_(UserSessionOf(GetCurrentProcess())) {
  const std::wstring key = MeetingKey();
  if (key.empty()) {
    user_.reset();
    return;
  }
  name_ = L"\\\\.\\pipe\\Kartiva." + Wide(tool) + L"." + key;
  lockName_ = L"Kartiva." + Wide(tool) + L".First." + key;
}

std::unique_ptr<FirstInstanceLink> PipeBatchEndpoint::Connect() {
  if (!user_) return nullptr;
  UniqueKernelHandle pipe = OpenPipe();
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
  if (!user_) return {};
  // A lock that another user holds the name of is no lock: the pipe's own first instance is then
  // all there is.
  UniqueKernelHandle lock = OwnMutex(lockName_);
  if (lock) {
    // A waiter that looks whether the first instance lives holds the lock for a moment only.
    const DWORD waited = WaitForSingleObject(lock.get(), kLockWait);
    if (waited == WAIT_TIMEOUT) return {.listener = nullptr, .taken = true};
    // WAIT_ABANDONED: the first instance before died, and the lock is this one's now.
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return {};
  }
  UniqueSecurityDescriptor security = UserOnlySecurity(user_->sid);
  if (!security) {
    if (lock) ReleaseMutex(lock.get());
    return {};
  }
  UniqueKernelHandle first =
      CreatePipeInstance(name_, security.get(), FILE_FLAG_FIRST_PIPE_INSTANCE);
  // Under the lock, the name can still be held by the links of the batch before, whose waiters
  // wait until its summary has been shown: this instance serves the name beside them. A waiting
  // instance that reaches a squatter's pipe instead, where its DACL lets ours join, finds out in
  // Connect.
  if (!first && lock && GetLastError() == ERROR_ACCESS_DENIED) {
    first = CreatePipeInstance(name_, security.get(), 0);
  }
  if (!first) {
    const bool taken = !lock && !squatted_ && GetLastError() == ERROR_ACCESS_DENIED;
    if (lock) ReleaseMutex(lock.get());
    return {.listener = nullptr, .taken = taken};
  }
  return {.listener = std::make_unique<PipeBatchListener>(name_, std::move(security),
                                                          std::move(first), std::move(lock))};
}

// Opens the pipe as a client, waiting while a first instance lives; none once none does.
UniqueKernelHandle PipeBatchEndpoint::OpenPipe() const {
  ULONGLONG deadline = GetTickCount64() + kConnectWait;
  for (;;) {
    // Identification only: the server may learn who we are, but not act as us.
    UniqueKernelHandle pipe(CreateFileW(name_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING,
                                        SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
    if (pipe) return pipe;
    const DWORD error = GetLastError();
    if (error != ERROR_PIPE_BUSY && error != ERROR_FILE_NOT_FOUND) return {};
    const ULONGLONG now = GetTickCount64();
    // Without a pipe, or without a free instance for a while, the first instance is worth waiting
    // for as long as it lives: it is about to listen, asks its question or does a file.
    if ((error == ERROR_FILE_NOT_FOUND || now >= deadline) && !FirstInstanceLives()) return {};
    if (now >= deadline) deadline = now + kConnectWait;
    if (error == ERROR_FILE_NOT_FOUND ||
        !WaitNamedPipeW(name_.c_str(), static_cast<DWORD>(deadline - now))) {
      Sleep(kLookAgain);
    }
  }
}

// Whether a first instance holds the lock; false too when there is no lock of the user's own.
bool PipeBatchEndpoint::FirstInstanceLives() const {
  const UniqueKernelHandle lock = OwnMutex(lockName_);
  if (!lock) return false;
  const DWORD waited = WaitForSingleObject(lock.get(), 0);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) ReleaseMutex(lock.get());
  return waited == WAIT_TIMEOUT;
}

bool PipeBatchEndpoint::ServedByThisUser(HANDLE pipe) const {
  ULONG serverId = 0;
  if (!GetNamedPipeServerProcessId(pipe, &serverId)) return false;
  const UniqueKernelHandle server(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, serverId));
  return server && UserSessionOf(server.get()) == user_;
}

}  // namespace kartiva::win32
