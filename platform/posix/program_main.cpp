#include "platform/program_main.h"

#include "platform/posix/batch_endpoint.h"
#include "platform/posix/desktop.h"
#include "posix_base/xdg_folders.h"

namespace kartiva {

int RunFileProgram(int argc, char** argv, const ProgramIdentity& identity, const BatchTexts& texts,
                   const std::function<void(Runtime&)>& loadForm) {
  posix::UnixBatchEndpoint endpoint(posix::RuntimeFolder().string(), "/tmp", identity.title);
  return posix::RunOnDesktop(
      argc, argv, identity, [&](Runtime& runtime, posix::DesktopUi&) { loadForm(runtime); },
      [&](Runtime& runtime, const std::function<void()>& load) {
        return RunBatch(runtime, endpoint, texts, load);
      });
}

}  // namespace kartiva
