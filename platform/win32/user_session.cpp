#include "platform/win32/user_session.h"

#include <aclapi.h>
#include <objbase.h>
#include <sddl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <chrono>
#include <functional>
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

// Makes or opens the named kernel object: CreateMutexW or CreateFileMappingW.
using MakeObject = std::function<HANDLE(SECURITY_ATTRIBUTES*, const wchar_t* name)>;

// The object `name`, made with `security` when it is new; null when it cannot be had, or when it
// was made before by a user other than `user`: a lock or a record that someone else can hold is
// none.
UniqueKernelHandle ObjectOfUser(const std::wstring& name, const UserSession& user,
                                PSECURITY_DESCRIPTOR security, const MakeObject& make) {
  SECURITY_ATTRIBUTES attributes{sizeof attributes, security, FALSE};
  UniqueKernelHandle object(make(&attributes, name.c_str()));
  if (!object || GetLastError() != ERROR_ALREADY_EXISTS) return object;
  PSID owner = nullptr;
  UniqueSecurityDescriptor existing;
  if (GetSecurityInfo(object.get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                      nullptr, nullptr, existing.Receive()) != ERROR_SUCCESS ||
      SidText(owner) != user.sid) {
    return {};
  }
  return object;
}

// The folder of the user's own for the tools on this machine, in the local application data, which
// only the user (and the administrators) can write; empty when it cannot be had.
std::wstring OwnFolder() {
  PWSTR local = nullptr;
  const HRESULT found =
      SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &local);
  std::wstring folder = SUCCEEDED(found) ? std::wstring(local) + L"\\Kartiva Explorer Tools" : L"";
  CoTaskMemFree(local);
  if (folder.empty() ||
      (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)) {
    return {};
  }
  return folder;
}

std::wstring ReadSecret(const std::wstring& file) {
  const UniqueKernelHandle secret(CreateFileW(
      file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, 0, nullptr));
  wchar_t text[64] = L"";
  DWORD bytes = 0;
  if (!secret || !ReadFile(secret.get(), text, sizeof text - sizeof(wchar_t), &bytes, nullptr)) {
    return {};
  }
  return std::wstring(text, bytes / sizeof(wchar_t));
}

// A random word kept in the user's own folder, which names the user's own objects where another
// user holds their plain names: a squatter can neither read nor guess it. A new one is written
// beside the file and moved over it, so that every instance reads a whole word, and of two made
// at once the first moved in place wins; with `renew` the last one does.
std::wstring NameSecret(const std::wstring& sid, bool renew) {
  const std::wstring folder = OwnFolder();
  if (folder.empty()) return {};
  const std::wstring file = folder + L"\\object-names.key";
  if (!renew) {
    if (std::wstring secret = ReadSecret(file); !secret.empty()) return secret;
  }
  GUID guid{};
  wchar_t word[40] = L"";
  const UniqueSecurityDescriptor security = UserOnlySecurity(sid);
  if (!security || FAILED(CoCreateGuid(&guid)) || StringFromGUID2(guid, word, 40) == 0) return {};
  const std::wstring fresh = file + L"." + std::to_wstring(GetCurrentProcessId());
  SECURITY_ATTRIBUTES attributes{sizeof attributes, security.get(), FALSE};
  {
    const UniqueKernelHandle written(
        CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_ALWAYS, 0, nullptr));
    DWORD bytes = 0;
    const auto size = static_cast<DWORD>(wcslen(word) * sizeof(wchar_t));
    if (!written || !WriteFile(written.get(), word, size, &bytes, nullptr) || bytes != size) {
      DeleteFileW(fresh.c_str());
      return {};
    }
  }
  if (!MoveFileExW(fresh.c_str(), file.c_str(), renew ? MOVEFILE_REPLACE_EXISTING : 0)) {
    DeleteFileW(fresh.c_str());
  }
  return ReadSecret(file);
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

namespace {

// The object `name` of this user's, in the session's own namespace with access for the user alone;
// where another user holds the name, the name with the secret. One that somebody holds too was
// learnt while it existed, and gets a new secret.
UniqueKernelHandle OwnObject(const std::wstring& name, const MakeObject& make) {
  const std::optional<UserSession> user = UserSessionOf(GetCurrentProcess());
  if (!user) return {};
  const UniqueSecurityDescriptor security = UserOnlySecurity(user->sid);
  if (!security) return {};
  if (UniqueKernelHandle object = ObjectOfUser(L"Local\\" + name, *user, security.get(), make)) {
    return object;
  }
  for (const bool renew : {false, true}) {
    const std::wstring secret = NameSecret(user->sid, renew);
    if (secret.empty()) return {};
    if (UniqueKernelHandle object =
            ObjectOfUser(L"Local\\" + name + L"." + secret, *user, security.get(), make)) {
      return object;
    }
  }
  return {};
}

}  // namespace

UniqueKernelHandle OwnMutex(const std::wstring& name) {
  return OwnObject(name, [](SECURITY_ATTRIBUTES* attributes, const wchar_t* objectName) {
    return CreateMutexW(attributes, FALSE, objectName);
  });
}

UniqueKernelHandle OwnSharedMemory(const std::wstring& name, DWORD size) {
  return OwnObject(name, [size](SECURITY_ATTRIBUTES* attributes, const wchar_t* objectName) {
    return CreateFileMappingW(INVALID_HANDLE_VALUE, attributes, PAGE_READWRITE, 0, size,
                              objectName);
  });
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
