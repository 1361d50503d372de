#pragma once

#include "core/toolkit.h"

namespace kartiva::posix {

// On Linux "KV5ToolKit.App" is the local stand-in at its default root; any other identifier names
// no component.
class LocalComponents : public ComponentFactory {
 public:
  std::shared_ptr<ToolkitSession> CreateToolkit(std::string_view progId) override;
};

}  // namespace kartiva::posix
