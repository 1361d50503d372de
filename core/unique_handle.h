#pragma once

// One move-only owner for every kind of handle: a file descriptor, a registry key, a window, a GDI
// object. A traits struct names the handle type, the value that holds nothing and the call that
// releases a handle:
//
//   struct FdTraits {
//     using Handle = int;
//     static constexpr Handle Null() noexcept { return -1; }
//     static void Close(Handle fd) noexcept { ::close(fd); }
//   };
//   using UniqueFd = UniqueHandle<FdTraits>;
//
// Most handles hold nothing as a null pointer and are released by one call; ReleasedBy names
// their traits by that call: UniqueHandle<ReleasedBy<HKEY, RegCloseKey>>.
//
// Where a kind of handle has more than one value that holds nothing, its traits' Adopt(handle) maps
// the others to Null() as the owner takes a handle.
//
// The owner releases its handle exactly once: when it goes, when it is reset, or never, once it
// has handed the handle on with release().

#include <utility>

namespace kartiva {

template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) noexcept : handle_(Adopted(handle)) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  Handle get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != Traits::Null(); }

  // Gives the handle up to a new owner (or forgets one that is already gone) without releasing it.
  Handle release() noexcept { return std::exchange(handle_, Traits::Null()); }
  // Releases the handle held, if any, and takes `handle` instead.
  void reset(Handle handle = Traits::Null()) noexcept {
    const Handle old = std::exchange(handle_, Adopted(handle));
    if (old != Traits::Null()) Traits::Close(old);
  }
  // The slot for a function that hands back a new handle through a pointer; releases what was held.
  Handle* Receive() noexcept {
    reset();
    return &handle_;
  }

 private:
  static Handle Adopted(Handle handle) noexcept {
    if constexpr (requires { Traits::Adopt(handle); }) {
      return Traits::Adopt(handle);
    } else {
      return handle;
    }
  }

  Handle handle_ = Traits::Null();
};

template <typename PointerHandle, auto Release>
struct ReleasedBy {
  using Handle = PointerHandle;
  static constexpr Handle Null() noexcept { return nullptr; }
  static void Close(Handle handle) noexcept { static_cast<void>(Release(handle)); }
};

}  // namespace kartiva
