#pragma once

#include <memory>

#include "core/toolkit.h"
#include "localstore/local_session.h"

namespace kartiva::linux_os {

// On Linux "KV5ToolKit.App" is the local stand-in at its default root; any other identifier names
// no component.
class LocalComponents : public ComponentFactory {
 public:
  std::shared_ptr<ToolkitSession> CreateToolkit(std::string_view progId) override;
  bool HoldConfirmations() override;
  std::vector<std::string> ConfirmHeld() override;

 private:
  std::shared_ptr<localstore::HeldNames> held_;  // once a batch holds its confirmations
};

}  // namespace kartiva::linux_os
