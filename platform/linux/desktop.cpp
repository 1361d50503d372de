#include "platform/linux/desktop.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "linux_base/xdg_folders.h"
#include "platform/linux/qt_probe.h"
#include "platform/linux/qt_probe_memory.h"

namespace kartiva::linux_os {
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

// The socket of a local X display as DISPLAY names it, "[host]:number[.screen]", without the
// abstract namespace's '@'; empty for a display on another host (as ssh forwards it) or no display.
std::string XDisplaySocket(std::string_view display) {
  const std::size_t colon = display.rfind(':');
  if (colon == std::string_view::npos) return "";
  const std::string_view host = display.substr(0, colon);
  if (!host.empty() && host != "unix") return "";
  std::string_view number = display.substr(colon + 1);
  number = number.substr(0, number.find('.'));
  return "/tmp/.X11-unix/X" + std::string(number);
}

// Qt ends the process when it cannot reach the display, so a local display is asked first; a
// remote one is taken as it stands.
bool XDisplayAnswers(std::string_view display) {
  if (display.rfind(':') == std::string_view::npos) return false;
  const std::string socket = XDisplaySocket(display);
  return socket.empty() || SocketAnswers("@" + socket) || SocketAnswers(socket);
}

std::string WaylandDisplaySocket(std::string_view display) {
  if (display.empty() || display.front() == '/') return std::string(display);
  const std::filesystem::path runtimeFolder = RuntimeFolder();
  return runtimeFolder.empty() ? "" : (runtimeFolder / display).string();
}

bool WaylandDisplayAnswers(std::string_view display) {
  const std::string socket = WaylandDisplaySocket(display);
  return !socket.empty() && SocketAnswers(socket);
}

// Whether Qt shows windows here: as remembered for the same circumstances, else as a child that
// starts it finds. A new X or Wayland server has a new socket, and a new Qt a new library file.
bool QtStartsHere(const std::string& moduleFile) {
  std::vector<std::filesystem::path> files{moduleFile};
  for (const std::string& socket : {XDisplaySocket(Environment("DISPLAY")),
                                    WaylandDisplaySocket(Environment("WAYLAND_DISPLAY"))}) {
    if (!socket.empty()) files.emplace_back(socket);
  }
  const std::filesystem::path runtimeFolder = RuntimeFolder();
  const std::filesystem::path answer =
      runtimeFolder.empty() ? std::filesystem::path() : runtimeFolder / "kartiva-qt-answer";
  if (!answer.empty() && RemembersGoodAnswer(answer, files)) return true;
  const std::optional<std::string> qtLibrary = QtShowsWindows(moduleFile, kQtProbeTimeout);
  if (!qtLibrary) return false;
  if (!answer.empty()) RememberGoodAnswer(answer, files, *qtLibrary);
  return true;
}

// Opens the Qt module when Qt starts here. Where it cannot be opened, one line on standard error
// says why, and the terminal serves instead.
qt::GuiModule* LoadGuiModule(const std::string& file) {
  if (!WantsGui() || !QtStartsHere(file)) return nullptr;
  // Lazy binding, as a program linked to Qt has it: resolving all of Qt's symbols up front costs
  // milliseconds, and the probe's child, which binds them all, has vouched for the module.
  void* module = ::dlopen(file.c_str(), RTLD_LAZY | RTLD_LOCAL);
  const auto open =
      module ? reinterpret_cast<qt::OpenFunction>(::dlsym(module, qt::kEntryName)) : nullptr;
  if (!open) {
    std::fprintf(stderr, "%s: the Qt module cannot be loaded, the terminal serves instead: %s\n",
                 file.c_str(), ::dlerror());
    return nullptr;
  }
  return open();
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

DesktopUi::DesktopUi(std::function<std::string()> programFolder, AnswerWords answers, std::FILE* in,
                     std::FILE* out)
    : programFolder_(std::move(programFolder)), answers_(answers), console_(in, out, answers) {}

namespace {

// The Qt module of the process, loaded by the first call of QtModule. Not a static object that
// goes at exit: Qt's own statics, made while a box was shown, would be gone before it, and the
// application's end would run into them (the program crashed as it ended). The UI closes it
// while the program still runs.
struct LoadedModule {
  bool tried = false;
  qt::GuiModule* gui = nullptr;
};

LoadedModule& TheLoadedModule() {
  static LoadedModule loaded;
  return loaded;
}

}  // namespace

qt::GuiModule* QtModule(const std::function<std::string()>& programFolder) {
  LoadedModule& loaded = TheLoadedModule();
  if (!loaded.tried) {
    loaded.tried = true;
    loaded.gui = LoadGuiModule(programFolder() + "/" + qt::kModuleFile);
  }
  return loaded.gui;
}

DesktopUi::~DesktopUi() { delete std::exchange(TheLoadedModule().gui, nullptr); }

Answer DesktopUi::Show(const MsgBoxRequest& box) {
  if (qt::GuiModule* gui = QtModule(programFolder_)) return gui->Show(box, answers_);
  return console_.Show(box);
}

void DesktopUi::ShowOpen(FileDialog& dialog) {
  if (qt::GuiModule* gui = QtModule(programFolder_)) return gui->ShowOpen(dialog);
  console_.ShowOpen(dialog);
}

bool DesktopUi::ShowProgress(const ProgressRequest& progress) {
  if (qt::GuiModule* gui = QtModule(programFolder_)) return gui->ShowProgress(progress);
  return console_.ShowProgress(progress);
}

void DesktopUi::CloseProgress() {
  if (qt::GuiModule* gui = QtModule(programFolder_)) return gui->CloseProgress();
  console_.CloseProgress();
}

std::unique_ptr<ConfiguratorWindow> CreateConfiguratorWindow(
    const std::function<std::string()>& programFolder) {
  if (qt::GuiModule* gui = QtModule(programFolder)) return gui->CreateConfiguratorWindow();
  return nullptr;
}

}  // namespace kartiva::linux_os
