#pragma once

// One move-only owner per COM resource: interface pointers, BSTRs, VARIANTs and the apartment of
// the thread. Copying is deleted everywhere, so nothing is released twice.

#include <windows.h>

#include <ole2.h>
#include <oleauto.h>

#include <string>
#include <string_view>
#include <utility>

namespace kartiva::win32 {

// Owns one reference to an interface.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference that the caller owns.
  static ComPtr Adopt(T* object) {
    ComPtr owner;
    owner.object_ = object;
    return owner;
  }
  // Adds a reference of its own.
  static ComPtr Share(T* object) {
    if (object) object->AddRef();
    return Adopt(object);
  }
  ComPtr(ComPtr&& other) noexcept : object_(other.release()) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() { reset(); }

  T* get() const { return object_; }
  // Gives the reference up to a new owner without releasing it.
  T* release() noexcept { return std::exchange(object_, nullptr); }
  // Releases the reference held, if any, and takes over `object`'s.
  void reset(T* object = nullptr) noexcept {
    if (T* old = std::exchange(object_, object)) old->Release();
  }
  // The slot for a call that hands out a reference, such as CoCreateInstance; releases what was
  // held.
  void** ReceiveVoid() {
    reset();
    return reinterpret_cast<void**>(&object_);
  }

  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_ = nullptr;
};

// Owns a BSTR.
class Bstr {
 public:
  Bstr() = default;
  // Copies text; throws std::bad_alloc when no memory is left.
  explicit Bstr(std::wstring_view text);
  Bstr(Bstr&& other) noexcept : text_(other.release()) {}
  Bstr& operator=(Bstr&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { reset(); }

  // Gives up ownership, for a VARIANT that takes it over.
  BSTR release() noexcept { return std::exchange(text_, nullptr); }
  // Frees the string held, if any, and takes over `text`.
  void reset(BSTR text = nullptr) noexcept { SysFreeString(std::exchange(text_, text)); }

 private:
  BSTR text_ = nullptr;
};

// Owns a VARIANT and whatever it holds.
class Variant {
 public:
  Variant() { VariantInit(&value_); }
  static Variant FromString(std::wstring_view text);
  static Variant FromInt32(LONG number);
  static Variant FromBool(bool flag);
  Variant(Variant&& other) noexcept : value_(other.release()) {}
  Variant& operator=(Variant&& other) noexcept {
    if (this != &other) {
      reset();
      value_ = other.release();
    }
    return *this;
  }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&value_); }

  VARIANT* get() { return &value_; }
  // Gives the value and whatever it holds up to a new owner, and holds nothing.
  VARIANT release() noexcept {
    const VARIANT value = value_;
    VariantInit(&value_);
    return value;
  }
  // Frees whatever the value holds and holds nothing.
  void reset() noexcept {
    VariantClear(&value_);
    VariantInit(&value_);
  }
  const VARIANT& operator*() const { return value_; }

 private:
  VARIANT value_;
};

// Joins the calling thread to a single-threaded apartment for the owner's lifetime. Only a call
// of CoInitializeEx that succeeded (S_OK or S_FALSE) is matched by CoUninitialize; a thread that
// is already in a multithreaded apartment (RPC_E_CHANGED_MODE) stays there and goes on.
class ComApartment {
 public:
  ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment();

 private:
  bool mustUninitialize_ = false;
};

// The system's text for an HRESULT, or "" when it has none.
std::string SystemMessage(HRESULT result);

// Raises the outright failure of a call that returned `result`: its code is the HRESULT, its
// description names the operation, the HRESULT in hex and `description` (or the system's text
// for the HRESULT when `description` is empty).
[[noreturn]] void ThrowFailure(std::string_view operation, HRESULT result,
                               std::string description = {});

// Raises the outright failure of a Win32 call that failed with GetLastError().
[[noreturn]] void ThrowLastError(std::string_view operation);

}  // namespace kartiva::win32
