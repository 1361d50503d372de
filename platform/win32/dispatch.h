#pragma once

// Late-bound calls through IDispatch, all by one helper:
//
//   Invoke(session, "ToolkitSession", "OpenBasket", basketName, ByRef(basket), ByRef(error));
//
// Arguments are written in the order of the operation; Invoke hands them to IDispatch::Invoke last
// to first, as it expects. In-arguments: std::string as a BSTR, std::int32_t as VT_I4, bool as a
// VARIANT_BOOL (-1 or 0). By-reference arguments, ByRef(x): an ErrorCode as VT_BYREF|VT_I4; a
// std::string, a bool or a ComPtr<IDispatch> as VT_BYREF|VT_VARIANT, each starting with the
// variable's value (an object starts empty). Invoke owns every VARIANT it builds, and copies the
// by-reference results back into the variables only when the call succeeded. A failed HRESULT,
// or a result that does not convert to the variable's type, is an OutrightFailure that names the
// object, the operation and the HRESULT, with the server's own description when it gave one.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "core/error.h"
#include "platform/win32/com.h"

namespace kartiva::win32 {

template <typename T>
struct OutArgument {
  T* variable;
};

inline OutArgument<std::string> ByRef(std::string& variable) { return {&variable}; }
inline OutArgument<bool> ByRef(bool& variable) { return {&variable}; }
inline OutArgument<ComPtr<IDispatch>> ByRef(ComPtr<IDispatch>& variable) { return {&variable}; }
inline OutArgument<ErrorCode> ByRef(ErrorCode& variable) { return {&variable}; }

// One argument of a call as IDispatch::Invoke sees it, together with what a by-reference argument
// points to and the variable its result goes back to. It stays where it was built: the VARIANT
// handed to the server points into it.
class BoundArgument {
 public:
  BoundArgument() = default;
  BoundArgument(const BoundArgument&) = delete;
  BoundArgument& operator=(const BoundArgument&) = delete;

  void Bind(const std::string& text);
  void Bind(std::int32_t number);
  void Bind(bool flag);
  void Bind(OutArgument<std::string> out);
  void Bind(OutArgument<bool> out);
  void Bind(OutArgument<ComPtr<IDispatch>> out);
  void Bind(OutArgument<ErrorCode> out);
  // Anything else (a character pointer that would turn into a bool, a long, ...) is a mistake.
  template <typename T>
  void Bind(const T&) = delete;

  // The VARIANT to hand to the server.
  const VARIANT& passed() const { return *passed_; }
  // Copies a by-reference result into its variable; `operation` names the call for a failure.
  void CopyBack(std::string_view operation);

 private:
  Variant passed_;
  Variant referenced_;  // the VARIANT that a VT_BYREF|VT_VARIANT argument points to
  LONG code_ = 0;       // the LONG that a VT_BYREF|VT_I4 argument points to
  std::variant<std::monostate, std::string*, bool*, ComPtr<IDispatch>*, ErrorCode*> variable_;
};

// Calls `member` of `object` with the arguments already bound last to first; `objectName` names
// the object's interface in a failure.
void InvokeBound(IDispatch& object, std::string_view objectName, std::string_view member,
                 std::span<BoundArgument> reversed);

template <typename... Args>
void Invoke(IDispatch& object, std::string_view objectName, std::string_view member,
            Args&&... args) {
  std::array<BoundArgument, sizeof...(Args)> bound;
  std::size_t slot = sizeof...(Args);
  // The comma fold runs left to right, so the first argument lands in the last slot.
  (bound[--slot].Bind(std::forward<Args>(args)), ...);
  InvokeBound(object, objectName, member, bound);
}

}  // namespace kartiva::win32
