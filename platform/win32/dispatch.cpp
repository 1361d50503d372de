#include "platform/win32/dispatch.h"

#include <vector>

#include "platform/win32/utf16.h"

namespace kartiva::win32 {
namespace {

// Owns the strings that a failed Invoke may leave in its EXCEPINFO.
class ExceptionInfo {
 public:
  ExceptionInfo() = default;
  ExceptionInfo(const ExceptionInfo&) = delete;
  ExceptionInfo& operator=(const ExceptionInfo&) = delete;
  ~ExceptionInfo() {
    SysFreeString(info_.bstrSource);
    SysFreeString(info_.bstrDescription);
    SysFreeString(info_.bstrHelpFile);
  }

  EXCEPINFO* get() { return &info_; }

  // The server's code and text for DISP_E_EXCEPTION, filled in first when it deferred them.
  [[nodiscard]] HRESULT Code(HRESULT invokeResult) {
    if (invokeResult != DISP_E_EXCEPTION) return invokeResult;
    if (info_.pfnDeferredFillIn) info_.pfnDeferredFillIn(&info_);
    if (FAILED(info_.scode)) return info_.scode;
    return invokeResult;
  }
  std::string Description() const {
    if (!info_.bstrDescription) return {};
    return ToUtf8(std::wstring_view(info_.bstrDescription, SysStringLen(info_.bstrDescription)));
  }

 private:
  EXCEPINFO info_{};
};

// The by-reference VARIANT as a value of the wanted type, or an outright failure.
Variant Coerced(VARIANT& source, VARTYPE type, std::string_view operation) {
  Variant value;
  HRESULT result = VariantCopyInd(value.get(), &source);
  if (SUCCEEDED(result) && value.get()->vt != type) {
    result = VariantChangeType(value.get(), value.get(), 0, type);
  }
  if (FAILED(result)) ThrowFailure(operation, result, "the result has the wrong type");
  return value;
}

bool IsNothing(const VARIANT& value) {
  const VARTYPE type = value.vt & ~VT_BYREF;
  return type == VT_EMPTY || type == VT_NULL;
}

}  // namespace

void BoundArgument::Bind(const std::string& text) { passed_ = Variant::FromString(Wide(text)); }

void BoundArgument::Bind(std::int32_t number) { passed_ = Variant::FromInt32(number); }

void BoundArgument::Bind(bool flag) { passed_ = Variant::FromBool(flag); }

void BoundArgument::Bind(OutArgument<std::string> out) {
  referenced_ = Variant::FromString(Wide(*out.variable));
  passed_.get()->vt = VT_BYREF | VT_VARIANT;
  passed_.get()->pvarVal = referenced_.get();
  variable_ = out.variable;
}

void BoundArgument::Bind(OutArgument<bool> out) {
  referenced_ = Variant::FromBool(*out.variable);
  passed_.get()->vt = VT_BYREF | VT_VARIANT;
  passed_.get()->pvarVal = referenced_.get();
  variable_ = out.variable;
}

void BoundArgument::Bind(OutArgument<ComPtr<IDispatch>> out) {
  passed_.get()->vt = VT_BYREF | VT_VARIANT;
  passed_.get()->pvarVal = referenced_.get();
  variable_ = out.variable;
}

void BoundArgument::Bind(OutArgument<ErrorCode> out) {
  code_ = *out.variable;
  passed_.get()->vt = VT_BYREF | VT_I4;
  passed_.get()->plVal = &code_;
  variable_ = out.variable;
}

void BoundArgument::CopyBack(std::string_view operation) {
  VARIANT& result = *referenced_.get();
  if (auto* text = std::get_if<std::string*>(&variable_)) {
    if (IsNothing(result)) {
      (*text)->clear();
    } else {
      Variant value = Coerced(result, VT_BSTR, operation);
      const BSTR converted = value.get()->bstrVal;
      **text = ToUtf8(std::wstring_view(converted ? converted : L"", SysStringLen(converted)));
    }
  } else if (auto* flag = std::get_if<bool*>(&variable_)) {
    **flag =
        !IsNothing(result) && Coerced(result, VT_BOOL, operation).get()->boolVal != VARIANT_FALSE;
  } else if (auto* object = std::get_if<ComPtr<IDispatch>*>(&variable_)) {
    if (IsNothing(result)) {
      (*object)->reset();
    } else {
      Variant value = Coerced(result, VT_DISPATCH, operation);
      **object = ComPtr<IDispatch>::Share(value.get()->pdispVal);
    }
  } else if (auto* code = std::get_if<ErrorCode*>(&variable_)) {
    **code = code_;
  }
}

void InvokeBound(IDispatch& object, std::string_view objectName, std::string_view member,
                 std::span<BoundArgument> reversed) {
  const std::string operation = std::string(objectName) + "." + std::string(member);
  std::wstring name = Wide(member);
  LPOLESTR names[] = {name.data()};
  DISPID id = DISPID_UNKNOWN;
  const HRESULT found = object.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(found)) ThrowFailure(operation, found);

  // Shallow copies: the bound arguments keep owning what the VARIANTs hold.
  std::vector<VARIANT> passed;
  passed.reserve(reversed.size());
  for (const BoundArgument& argument : reversed) passed.push_back(argument.passed());
  DISPPARAMS parameters{passed.data(), nullptr, static_cast<UINT>(passed.size()), 0};
  Variant returned;
  ExceptionInfo exception;
  UINT badArgument = 0;
  const HRESULT called = object.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                       &parameters, returned.get(), exception.get(), &badArgument);
  if (FAILED(called)) ThrowFailure(operation, exception.Code(called), exception.Description());

  for (BoundArgument& argument : reversed) argument.CopyBack(operation);
}

}  // namespace kartiva::win32
