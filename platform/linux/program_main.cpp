#include "platform/program_main.h"

#include <csignal>
#include <cstdio>
#include <memory>
#include <string_view>

#include "core/program.h"
#include "localstore/check.h"
#include "localstore/store.h"
#include "platform/linux/batch_endpoint.h"
#include "platform/linux/client_check_lock.h"
#include "platform/linux/command_line.h"
#include "platform/linux/components.h"
#include "platform/linux/desktop.h"
#include "platform/linux/instances_on_their_way.h"
#include "platform/linux/meeting_folder.h"
#include "platform/linux/meeting_key.h"

namespace kartiva {
namespace {

// Set up once for the whole process, before anything else runs.
void SetUpProcess() {
  // A file over the size limit fails its write with EFBIG, which the store reports as full,
  // instead of killing the program without a word.
  std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace

// The file managers hand over absolute paths, so a file named "--check" in the current folder
// comes as "./--check" and never looks like the option.
int RunProgram(int argc, char** argv, const Program& program) {
  SetUpProcess();
  if (program.checksStore && argc == 2 && std::string_view(argv[1]) == "--check") {
    const int status = localstore::CheckStore(localstore::DefaultRoot(), stdout);
    // A report that could not be written in full (a full disk) is no answer: it is not "in order".
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return status;
    std::fprintf(stderr, "%s --check: the report could not be written\n", program.title);
    return status == 1 ? status : 2;
  }
  const auto meetingFolder =
      std::make_shared<linux_os::MeetingFolder>(linux_os::ThisProcessesMeetingPlace());
  const ProgramFacts facts{
      .commandLine = linux_os::JoinArguments(argc, argv),
      .folder = [argv0 = argc > 0 ? argv[0] : nullptr] { return linux_os::ProgramFolder(argv0); },
      .title = program.title,
      .version = program.version,
      .contextMenuOwner = "des Dateimanagers",
      .started = linux_os::ThisProcessesStart};
  linux_os::LocalComponents components;
  linux_os::DesktopUi ui(facts.folder, program.answers, stdin, stderr);
  linux_os::FileClientCheckLock checkLock(meetingFolder);
  Runtime runtime{components, ui, facts, checkLock};
  const auto load = [&] { program.loadForm(runtime); };
  if (!program.batch) return RunForm(runtime, load);
  linux_os::UnixBatchEndpoint endpoint(meetingFolder, program.title);
  return RunBatch(runtime, endpoint, *program.batch, load);
}

}  // namespace kartiva
