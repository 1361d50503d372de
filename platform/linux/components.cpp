#include "platform/linux/components.h"

#include <string>

#include "localstore/local_session.h"
#include "localstore/store.h"

namespace kartiva::linux_os {

std::shared_ptr<ToolkitSession> LocalComponents::CreateToolkit(std::string_view progId) {
  if (progId != kToolkitProgId) {
    throw OutrightFailure(kErrCannotCreateComponent,
                          "ActiveX component can't create object: " + std::string(progId));
  }
  return localstore::OpenSession(localstore::DefaultRoot(), held_);
}

bool LocalComponents::HoldConfirmations() {
  if (!held_) held_ = std::make_shared<localstore::HeldNames>();
  return true;
}

std::vector<std::string> LocalComponents::ConfirmHeld() {
  return held_ ? held_->Confirm() : std::vector<std::string>();
}

}  // namespace kartiva::linux_os
