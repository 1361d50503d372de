#include "platform/win32/user_session.h"

#include <aclapi.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <chrono>
#include <string_view>
#include <vector>

#include "core/batch_endpoint.h"

namespace kartiva::win32 {
namespace {

// A fixed-size piece of a token's information; false when it cannot be read.
template <typename Information>
bool ReadToken(HANDLE token, TOKEN_INFORMATION_CLASS kind, Information& information) {
  DWORD size = 0;
  return GetTokenInformation(token, kind, &information, sizeof information, &size);
}

std::wstring SidText(PSID sid) {
  UniqueLocalMemory<LPWSTR> text;
  if (!ConvertSidToStringSidW(sid, text.Receive())) return {};
  return text.get();
}

std::wstring UserSidOf(HANDLE token) {
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> user(size);
  if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size)) return {};
  return SidText(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
}

// The name of a window station or desktop.
std::wstring ObjectName(HANDLE object) {
  DWORD size = 0;
  GetUserObjectInformationW(object, UOI_NAME, nullptr, 0, &size);
  std::wstring name(size / sizeof(wchar_t), L'\0');
  if (size == 0 || !GetUserObjectInformationW(object, UOI_NAME, name.data(), size, &size)) {
    return {};
  }
  name.resize(wcsnlen(name.c_str(), name.size()));
  return name;
}

// The name of the desktop this thread shows its windows on, with its window station, in
// characters a pipe or object name takes (no backslash).
std::wstring DesktopName() {
  std::wstring name = ObjectName(GetProcessWindowStation()) + L"." +
                      ObjectName(GetThreadDesktop(GetCurrentThreadId()));
  for (wchar_t& c : name) {
    if (c == L'\\') c = L'_';
  }
  return name;
}

// The full path of the program file that `process` runs; empty when it cannot be read.
std::wstring ProgramFileOf(HANDLE process) {
  std::wstring path(32768, L'\0');
  auto length = static_cast<DWORD>(path.size());
  if (!QueryFullProcessImageNameW(process, 0, path.data(), &length)) return {};
  path.resize(length);
  return path;
}

// How long ago `process` started, in milliseconds; none when it cannot be read.
std::optional<ULONGLONG> AgeOf(HANDLE process) {
  FILETIME created{}, exited{}, kernel{}, user{}, now{};
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return std::nullopt;
  GetSystemTimeAsFileTime(&now);
  const auto ticks = [](FILETIME time) {
    return ULARGE_INTEGER{{time.dwLowDateTime, time.dwHighDateTime}}.QuadPart;
  };
  return ticks(now) > ticks(created) ? (ticks(now) - ticks(created)) / 10'000 : 0;  // 100 ns
}

bool SameFileName(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring_view LastPart(std::wstring_view path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::optional<UserSession> UserSessionOf(HANDLE process) {
  UniqueKernelHandle token;
  if (!OpenProcessToken(process, TOKEN_QUERY, token.Receive())) return std::nullopt;
  UserSession user{.sid = UserSidOf(token.get())};
  TOKEN_STATISTICS statistics{};
  if (user.sid.empty() || !ReadToken(token.get(), TokenStatistics, statistics) ||
      !ReadToken(token.get(), TokenSessionId, user.session)) {
    return std::nullopt;
  }
  user.logon = statistics.AuthenticationId;
  return user;
}

std::wstring MeetingKey() {
  const std::optional<UserSession> user = UserSessionOf(GetCurrentProcess());
  if (!user) return {};
  wchar_t logon[24];
  swprintf(logon, 24, L"%lx-%lx", static_cast<unsigned long>(user->logon.HighPart),
           static_cast<unsigned long>(user->logon.LowPart));
  return std::to_wstring(user->session) + L"." + logon + L"." + DesktopName() + L"." + user->sid;
}

UniqueSecurityDescriptor UserOnlySecurity(const std::wstring& sid) {
  // Owned by the user, protected, with one entry: full access for the user, none for anyone else.
  const std::wstring descriptor = L"O:" + sid + L"D:P(A;;GA;;;" + sid + L")";
  UniqueSecurityDescriptor security;
  ConvertStringSecurityDescriptorToSecurityDescriptorW(descriptor.c_str(), SDDL_REVISION_1,
                                                       security.Receive(), nullptr);
  return security;
}

UniqueKernelHandle OwnMutex(const std::wstring& name) {
  const std::optional<UserSession> user = UserSessionOf(GetCurrentProcess());
  if (!user) return {};
  const UniqueSecurityDescriptor security = UserOnlySecurity(user->sid);
  if (!security) return {};
  SECURITY_ATTRIBUTES attributes{sizeof attributes, security.get(), FALSE};
  UniqueKernelHandle mutex(CreateMutexW(&attributes, FALSE, (L"Local\\" + name).c_str()));
  if (!mutex || GetLastError() != ERROR_ALREADY_EXISTS) return mutex;
  // Someone made it before: this user's instance, or a squatter whose lock would be no lock.
  PSID owner = nullptr;
  UniqueSecurityDescriptor existing;
  if (GetSecurityInfo(mutex.get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                      nullptr, nullptr, existing.Receive()) != ERROR_SUCCESS ||
      SidText(owner) != user->sid) {
    return {};
  }
  return mutex;
}

std::vector<DWORD> OtherInstancesOfThisProgram() {
  constexpr auto kOnItsWayForMs = static_cast<ULONGLONG>(
      std::chrono::duration_cast<std::chrono::milliseconds>(kOnItsWayFor).count());
  const std::wstring program = ProgramFileOf(GetCurrentProcess());
  const std::optional<UserSession> user = UserSessionOf(GetCurrentProcess());
  std::vector<DWORD> instances;
  const UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (program.empty() || !user || !snapshot) return instances;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    // The snapshot's short name sorts out the others before any of them is opened.
    if (entry.th32ProcessID == GetCurrentProcessId() ||
        !SameFileName(LastPart(entry.szExeFile), LastPart(program))) {
      continue;
    }
    const UniqueKernelHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, entry.th32ProcessID));
    if (process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT &&
        AgeOf(process.get()).value_or(kOnItsWayForMs) < kOnItsWayForMs &&
        SameFileName(ProgramFileOf(process.get()), program) &&
        UserSessionOf(process.get()) == user) {
      instances.push_back(entry.th32ProcessID);
    }
  }
  return instances;
}

}  // namespace kartiva::win32
