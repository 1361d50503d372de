#include "platform/win32/com.h"

#include <new>

#include "core/error.h"
#include "platform/win32/utf16.h"

namespace kartiva::win32 {

Bstr::Bstr(std::wstring_view text)
    : text_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
  if (!text_) throw std::bad_alloc();
}

Variant Variant::FromString(std::wstring_view text) {
  Variant variant;
  variant.value_.bstrVal = Bstr(text).release();
  variant.value_.vt = VT_BSTR;
  return variant;
}

Variant Variant::FromInt32(LONG number) {
  Variant variant;
  variant.value_.vt = VT_I4;
  variant.value_.lVal = number;
  return variant;
}

Variant Variant::FromBool(bool flag) {
  Variant variant;
  variant.value_.vt = VT_BOOL;
  variant.value_.boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
  return variant;
}

ComApartment::ComApartment() {
  const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  if (SUCCEEDED(result)) {
    mustUninitialize_ = true;
  } else if (result != RPC_E_CHANGED_MODE) {
    ThrowFailure("CoInitializeEx", result);
  }
}

ComApartment::~ComApartment() {
  if (mustUninitialize_) CoUninitialize();
}

std::string SystemMessage(HRESULT result) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring_view text(buffer ? buffer : L"", length);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
    text.remove_suffix(1);
  }
  std::string message = ToUtf8(text);
  LocalFree(buffer);
  return message;
}

void ThrowFailure(std::string_view operation, HRESULT result, std::string description) {
  if (description.empty()) description = SystemMessage(result);
  const ErrorCode code = static_cast<ErrorCode>(result);
  std::string text = std::string(operation) + " failed (HRESULT " + HexCode(code) + ")";
  if (!description.empty()) text += ": " + description;
  throw OutrightFailure(code, text);
}

void ThrowLastError(std::string_view operation) {
  ThrowFailure(operation, HRESULT_FROM_WIN32(GetLastError()));
}

}  // namespace kartiva::win32
