#include "platform/program_main.h"

#include <iostream>
#include <string_view>

#include "localstore/check.h"
#include "localstore/store.h"

#include "platform/posix/batch_endpoint.h"
#include "platform/posix/desktop.h"

namespace kartiva {

int RunFileProgram(int argc, char** argv, const ProgramIdentity& identity, const BatchTexts& texts,
                   const std::function<void(Runtime&)>& loadForm) {
  posix::UnixBatchEndpoint endpoint(posix::ThisProcessesMeetingPlace(), identity.title);
  return posix::RunOnDesktop(
      argc, argv, identity, [&](Runtime& runtime, posix::DesktopUi&) { loadForm(runtime); },
      [&](Runtime& runtime, const std::function<void()>& load) {
        return RunBatch(runtime, endpoint, texts, load);
      });
}

// The file managers hand over absolute paths, and a file of this name in the current folder is
// stored as "./--check".
std::optional<int> RunStoreCheck(int argc, char** argv) {
  if (argc != 2 || std::string_view(argv[1]) != "--check") return std::nullopt;
  return localstore::CheckStore(localstore::DefaultRoot(), std::cout);
}

}  // namespace kartiva
