#include "platform/posix/desktop.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "core/program.h"
#include "platform/posix/base/xdg_folders.h"
#include "platform/posix/client_check_lock.h"
#include "platform/posix/command_line.h"
#include "platform/posix/components.h"
#include "platform/posix/qt_probe.h"

namespace kartiva::posix {
namespace {

std::string_view Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Whether a server listens on the unix socket `path` ('@' first for the abstract namespace).
bool SocketAnswers(std::string_view path) {
  sockaddr_un address{};
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());
  if (path.front() == '@') address.sun_path[0] = '\0';
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
  const bool answers = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
  ::close(fd);
  return answers;
}

// An X display as DISPLAY names it, "[host]:number[.screen]". Qt ends the process when it cannot
// reach the display, so a local display is asked first; a remote one is taken as it stands.
bool XDisplayAnswers(std::string_view display) {
  const std::size_t colon = display.rfind(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view host = display.substr(0, colon);
  if (!host.empty() && host != "unix") return true;
  std::string_view number = display.substr(colon + 1);
  number = number.substr(0, number.find('.'));
  const std::string socket = "/tmp/.X11-unix/X" + std::string(number);
  return SocketAnswers("@" + socket) || SocketAnswers(socket);
}

bool WaylandDisplayAnswers(std::string_view display) {
  if (display.front() == '/') return SocketAnswers(display);
  const std::filesystem::path runtimeFolder = RuntimeFolder();
  return !runtimeFolder.empty() && SocketAnswers((runtimeFolder / display).string());
}

}  // namespace

bool WantsGui() {
  if (Environment("KARTIVA_UI") == "console") return false;
  const auto wayland = [] {
    const std::string_view display = Environment("WAYLAND_DISPLAY");
    return !display.empty() && WaylandDisplayAnswers(display);
  };
  const auto x = [] {
    const std::string_view display = Environment("DISPLAY");
    return !display.empty() && XDisplayAnswers(display);
  };
  std::string_view platforms = Environment("QT_QPA_PLATFORM");
  if (platforms.empty()) return wayland() || x();
  // Qt tries the platforms of a list such as "wayland;xcb" in turn; each may carry options after
  // a colon. Offscreen and minimal show nothing to anybody; whether any other platform (eglfs,
  // linuxfb, vnc...) starts only Qt can tell, which QtShowsWindows asks it.
  const auto starts = [&](std::string_view name) {
    if (name == "xcb") return x();
    if (name.rfind("wayland", 0) == 0) return wayland();
    return !name.empty() && name != "offscreen" && name != "minimal";
  };
  while (!platforms.empty()) {
    const std::string_view entry = platforms.substr(0, platforms.find(';'));
    platforms.remove_prefix(std::min(platforms.size(), entry.size() + 1));
    if (starts(entry.substr(0, entry.find(':')))) return true;
  }
  return false;
}

DesktopUi::DesktopUi(std::string programFolder, std::FILE* in, std::FILE* out)
    : programFolder_(std::move(programFolder)), console_(in, out) {}

// The module stays loaded: Qt cannot be unloaded from a running process.
DesktopUi::~DesktopUi() = default;

qt::GuiModule* DesktopUi::Gui() {
  if (loadTried_) return gui_.get();
  loadTried_ = true;
  const std::string file = programFolder_ + "/" + qt::kModuleFile;
  if (!WantsGui() || !QtShowsWindows(file, kQtProbeTimeout)) return nullptr;
  void* module = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) return nullptr;
  const auto open = reinterpret_cast<qt::OpenFunction>(::dlsym(module, qt::kEntryName));
  if (open) gui_.reset(open());
  return gui_.get();
}

Answer DesktopUi::Show(const MsgBoxRequest& box) {
  if (qt::GuiModule* gui = Gui()) return gui->Show(box);
  return console_.Show(box);
}

void DesktopUi::ShowOpen(FileDialog& dialog) {
  if (qt::GuiModule* gui = Gui()) return gui->ShowOpen(dialog);
  console_.ShowOpen(dialog);
}

bool DesktopUi::ShowProgress(const ProgressRequest& progress) {
  if (qt::GuiModule* gui = Gui()) return gui->ShowProgress(progress);
  return console_.ShowProgress(progress);
}

void DesktopUi::CloseProgress() {
  if (qt::GuiModule* gui = Gui()) return gui->CloseProgress();
  console_.CloseProgress();
}

std::unique_ptr<ConfiguratorWindow> DesktopUi::CreateConfiguratorWindow() {
  if (qt::GuiModule* gui = Gui()) return gui->CreateConfiguratorWindow();
  return nullptr;
}

int RunOnDesktop(int argc, char** argv, const ProgramIdentity& identity,
                 const std::function<void(Runtime&, DesktopUi&)>& load, const FormRunner& run) {
  const ProgramFacts facts{.commandLine = JoinArguments(argc, argv),
                           .folder = ProgramFolder(argc > 0 ? argv[0] : nullptr),
                           .title = identity.title,
                           .version = identity.version};
  LocalComponents components;
  DesktopUi ui(facts.folder, stdin, stderr);
  FileClientCheckLock checkLock(RuntimeFolder().string(), "/tmp");
  Runtime runtime{components, ui, facts, checkLock};
  return run(runtime, [&] { load(runtime, ui); });
}

}  // namespace kartiva::posix
