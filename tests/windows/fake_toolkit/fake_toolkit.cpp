// A stand-in for Kartiva's automation toolkit, registered as "KV5ToolKit.App" in a throw-away Wine
// prefix. It appends every call, with its arguments as they arrived, to the log file named by
// KARTIVA_FAKE_LOG, and answers from the script file named by KARTIVA_FAKE_SCRIPT, whose lines
// read Object.Operation.key=value:
//
//   Session.IsClientRunning.out=False       the out value (True/False, a text, or Nothing for no
//   object) Basket.AddFile.code=255                 the error code handed back
//   Session.OpenBasket.fail=80045005 text   the call fails with this HRESULT and description
//   Session.StartClient.then=line           after the call, the line is added to the script, as
//                                           Session.IsClientRunning.out=True for a started client
//   Basket.AddFile.delay=30                 the call takes this many milliseconds
//
// Without a line a call succeeds with code 0, an empty text, True, or a new object. The log also
// shows each object's creation ("new Basket") and its final release ("del Basket").

#include <windows.h>

#include <ole2.h>
#include <oleauto.h>
#include <olectl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/utf16.h"

namespace {

// {6A3C1E52-9B7D-4F0A-8E21-5D4C7B3A9F10}
constexpr CLSID kClassId = {
    0x6a3c1e52, 0x9b7d, 0x4f0a, {0x8e, 0x21, 0x5d, 0x4c, 0x7b, 0x3a, 0x9f, 0x10}};
constexpr wchar_t kClassIdText[] = L"{6A3C1E52-9B7D-4F0A-8E21-5D4C7B3A9F10}";
constexpr wchar_t kProgId[] = L"KV5ToolKit.App";

HMODULE gModule = nullptr;
std::atomic<long> gLiveObjects{0};

std::string Utf8(std::wstring_view text) { return kartiva::win32::ToUtf8(text); }

std::wstring Environment(const wchar_t* name) {
  wchar_t value[MAX_PATH * 4];
  const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH * 4);
  return length > 0 && length < MAX_PATH * 4 ? std::wstring(value, length) : std::wstring();
}

// Appends the line to the file named by the environment variable `variable`. Many processes append
// to the same file at once, and Wine's appends are not atomic between processes (lines got lost),
// so the processes append one at a time.
void AppendLine(const wchar_t* variable, const std::string& line) {
  const std::wstring path = Environment(variable);
  if (path.empty()) return;
  HANDLE turn = CreateMutexW(nullptr, FALSE, L"Local\\KartivaFakeToolkit.Append");
  if (!turn) return;
  WaitForSingleObject(turn, INFINITE);
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
  }
  ReleaseMutex(turn);
  CloseHandle(turn);
}

void Log(const std::string& line) { AppendLine(L"KARTIVA_FAKE_LOG", line); }

// The script, read afresh for every call so that a test may change it between calls.
std::map<std::string, std::string> Script() {
  std::map<std::string, std::string> entries;
  const std::wstring path = Environment(L"KARTIVA_FAKE_SCRIPT");
  if (path.empty()) return entries;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return entries;
  std::string content;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
    content.append(buffer, n);
  std::fclose(file);
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (const std::size_t equals = line.find('='); equals != std::string::npos) {
      entries[line.substr(0, equals)] = line.substr(equals + 1);
    }
    start = end + 1;
  }
  return entries;
}

// The kinds of parameter of an operation: S string, I 32-bit integer, B flag, O out value, E the
// by-reference error code.
struct Operation {
  const char* name;
  const char* parameters;
  const char* outKind;  // what the out value is: "text", "flag", "Basket" or "Archive"
};

struct Kind {
  const char* name;
  std::vector<Operation> operations;
};

const Kind kSession{"Session",
                    {{"StartClient", "SSIE", ""},
                     {"OpenBasket", "SOE", "Basket"},
                     {"SetDocumentName", "SE", ""},
                     {"QueryActiveBasket", "OE", "text"},
                     {"Refresh", "E", ""},
                     {"OpenArchive", "SOE", "Archive"},
                     {"ListArchives", "OE", "text"},
                     {"QueryActiveArchive", "OE", "text"},
                     {"ConvertFile", "SSSOE", "text"},
                     {"IsClientRunning", "OE", "flag"}}};
const Kind kBasket{"Basket", {{"Open", "E", ""}, {"AddFile", "SSOE", "text"}}};
const Kind kArchive{"Archive", {{"Open", "E", ""}, {"StoreFile", "SIBBSE", ""}}};

std::string Describe(const VARIANT& value) {
  switch (value.vt) {
    case VT_BSTR: {
      std::string text(1, '"');
      text += Utf8({value.bstrVal, SysStringLen(value.bstrVal)});
      return text += '"';
    }
    case VT_I4:
      return std::to_string(value.lVal);
    case VT_BOOL:
      return value.boolVal == VARIANT_TRUE    ? "True"
             : value.boolVal == VARIANT_FALSE ? "False"
                                              : "Bool(" + std::to_string(value.boolVal) + ")";
    case VT_BYREF | VT_VARIANT:
      return "&Variant";
    case VT_BYREF | VT_I4:
      return "&Long";
    default: {
      char text[32];
      std::snprintf(text, sizeof text, "?vt=0x%X", static_cast<unsigned>(value.vt));
      return text;
    }
  }
}

bool Matches(char parameter, const VARIANT& value) {
  switch (parameter) {
    case 'S':
      return value.vt == VT_BSTR;
    case 'I':
      return value.vt == VT_I4;
    case 'B':
      return value.vt == VT_BOOL;
    case 'O':
      return value.vt == (VT_BYREF | VT_VARIANT);
    case 'E':
      return value.vt == (VT_BYREF | VT_I4);
    default:
      return false;
  }
}

[[nodiscard]] HRESULT Fail(EXCEPINFO* exception, const std::string& spec) {
  const HRESULT code = static_cast<HRESULT>(std::strtoul(spec.c_str(), nullptr, 16));
  const std::size_t blank = spec.find(' ');
  const std::wstring description =
      kartiva::win32::ToUtf16<wchar_t>(blank == std::string::npos ? "" : spec.substr(blank + 1));
  if (exception) {
    *exception = EXCEPINFO{};
    exception->bstrSource = SysAllocString(kProgId);
    exception->bstrDescription = SysAllocString(description.c_str());
    exception->scode = code;
  }
  return DISP_E_EXCEPTION;
}

class FakeObject final : public IDispatch {
 public:
  explicit FakeObject(const Kind& kind) : kind_(kind) {
    ++gLiveObjects;
    Log(std::string("new ") + kind_.name);
  }
  FakeObject(const FakeObject&) = delete;
  FakeObject& operator=(const FakeObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (!object) return E_POINTER;
    if (id == IID_IUnknown || id == IID_IDispatch) {
      AddRef();
      *object = static_cast<IDispatch*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) {
      Log(std::string("del ") + kind_.name);
      --gLiveObjects;
      delete this;
    }
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (!names || !ids || count != 1) return E_INVALIDARG;
    for (std::size_t i = 0; i < kind_.operations.size(); ++i) {
      if (_wcsicmp(names[0], kartiva::win32::ToUtf16<wchar_t>(kind_.operations[i].name).c_str()) ==
          0) {
        ids[0] = static_cast<DISPID>(i + 1);
        return S_OK;
      }
    }
    Log(std::string(kind_.name) + ": unknown name " + Utf8(names[0]));
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                   VARIANT*, EXCEPINFO* exception, UINT*) override {
    try {
      if (id < 1 || static_cast<std::size_t>(id) > kind_.operations.size())
        return DISP_E_MEMBERNOTFOUND;
      if (!(flags & DISPATCH_METHOD) || !parameters) return DISP_E_MEMBERNOTFOUND;
      return Call(kind_.operations[static_cast<std::size_t>(id - 1)], *parameters, exception);
    } catch (...) {
      return E_UNEXPECTED;  // nothing may cross the COM boundary
    }
  }

 private:
  [[nodiscard]] HRESULT Call(const Operation& operation, DISPPARAMS& parameters,
                             EXCEPINFO* exception) {
    const std::string name = std::string(kind_.name) + "." + operation.name;
    // Arguments arrive last to first; the log shows them in the caller's order.
    std::string line = name + "(";
    for (UINT i = parameters.cArgs; i-- > 0;) {
      line += Describe(parameters.rgvarg[i]);
      if (i > 0) line += ", ";
    }
    Log(line + ")");

    const std::string_view kinds = operation.parameters;
    if (parameters.cNamedArgs != 0 || parameters.cArgs != kinds.size()) return DISP_E_BADPARAMCOUNT;
    for (std::size_t k = 0; k < kinds.size(); ++k) {
      if (!Matches(kinds[k], parameters.rgvarg[kinds.size() - 1 - k])) return DISP_E_TYPEMISMATCH;
    }
    const auto script = Script();
    const auto entry = [&](const char* key) -> const std::string* {
      const auto found = script.find(name + "." + key);
      return found == script.end() ? nullptr : &found->second;
    };
    if (const std::string* delay = entry("delay")) Sleep(std::stoul(*delay));
    if (const std::string* failure = entry("fail")) return Fail(exception, *failure);

    // The out value sits just before the error code, which is always the last argument.
    if (const std::size_t out = kinds.find('O'); out != std::string_view::npos) {
      VARIANT& target = *parameters.rgvarg[kinds.size() - 1 - out].pvarVal;
      VariantClear(&target);
      SetOut(operation.outKind, entry("out"), target);
    }
    const std::string* code = entry("code");
    *parameters.rgvarg[0].plVal = code ? std::stol(*code) : 0;
    if (const std::string* then = entry("then")) AppendLine(L"KARTIVA_FAKE_SCRIPT", *then);
    return S_OK;
  }

  static void SetOut(std::string_view kind, const std::string* scripted, VARIANT& target) {
    if (kind == "flag") {
      target.vt = VT_BOOL;
      target.boolVal = scripted && *scripted == "False" ? VARIANT_FALSE : VARIANT_TRUE;
    } else if (kind == "text") {
      target.vt = VT_BSTR;
      target.bstrVal = SysAllocString(
          kartiva::win32::ToUtf16<wchar_t>(scripted ? *scripted : std::string()).c_str());
    } else if (scripted && *scripted == "Nothing") {
      target.vt = VT_EMPTY;
    } else {
      target.vt = VT_DISPATCH;
      target.pdispVal = new FakeObject(kind == "Basket" ? kBasket : kArchive);
    }
  }

  const Kind& kind_;
  std::atomic<ULONG> references_{1};
};

class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (!object) return E_POINTER;
    if (id == IID_IUnknown || id == IID_IClassFactory) {
      *object = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives as long as the DLL
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID id, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    try {
      FakeObject* session = new FakeObject(kSession);
      const HRESULT result = session->QueryInterface(id, object);
      session->Release();
      return result;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory gFactory;

[[nodiscard]] LSTATUS SetDefault(const std::wstring& key, const wchar_t* name,
                                 const std::wstring& value) {
  HKEY handle = nullptr;
  LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                   nullptr, &handle, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
  return status;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    gModule = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID id, LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (classId != kClassId) return CLASS_E_CLASSNOTAVAILABLE;
  return gFactory.QueryInterface(id, object);
}

STDAPI DllCanUnloadNow() { return gLiveObjects == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
  wchar_t path[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameW(gModule, path, MAX_PATH * 4);
  if (length == 0 || length >= MAX_PATH * 4) return SELFREG_E_CLASS;
  const std::wstring classKey = std::wstring(L"CLSID\\") + kClassIdText;
  const LSTATUS results[] = {
      SetDefault(kProgId, nullptr, L"Kartiva toolkit stand-in for tests"),
      SetDefault(std::wstring(kProgId) + L"\\CLSID", nullptr, kClassIdText),
      SetDefault(classKey, nullptr, L"Kartiva toolkit stand-in for tests"),
      SetDefault(classKey + L"\\ProgID", nullptr, kProgId),
      SetDefault(classKey + L"\\InprocServer32", nullptr, std::wstring(path, length)),
      SetDefault(classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"),
  };
  for (const LSTATUS result : results) {
    if (result != ERROR_SUCCESS) return SELFREG_E_CLASS;
  }
  return S_OK;
}

STDAPI DllUnregisterServer() {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kClassIdText).c_str());
  return S_OK;
}
