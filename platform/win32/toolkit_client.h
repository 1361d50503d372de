#pragma once

// Kartiva's toolkit on Windows: the COM object "KV5ToolKit.App", called late-bound through
// IDispatch. Each adapter holds one reference to its object and releases it when it goes.

#include <memory>
#include <string_view>

#include "core/toolkit.h"
#include "platform/win32/com.h"

namespace kartiva::win32 {

// Creates components with CLSIDFromProgID and CoCreateInstance; the calling thread must be in a
// COM apartment (ComApartment). A component that cannot be created is an outright failure.
class ComComponents : public ComponentFactory {
 public:
  std::shared_ptr<ToolkitSession> CreateToolkit(std::string_view progId) override;
};

// The session adapter over an IDispatch that the caller has created; exposed for tests.
std::shared_ptr<ToolkitSession> WrapSession(ComPtr<IDispatch> session);

}  // namespace kartiva::win32
