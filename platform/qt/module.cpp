// The entry of libkartiva_qt.so: the programs load it with dlopen when they first show something,
// so that a run that shows nothing never starts Qt.

#include <QApplication>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>
#include <exception>
#include <memory>

#include "platform/qt/configurator_window.h"
#include "platform/qt/gui_module.h"
#include "platform/qt/message_boxes.h"
#include "platform/qt/progress_window.h"

namespace kartiva::qt {
namespace {

class QtGui : public GuiModule {
 public:
  QtGui() : application_(argc_, argv_) {
    // The name desktops and screen readers know the program by: its own, not the module's.
    QCoreApplication::setApplicationName(QString::fromLocal8Bit(program_invocation_short_name));
    // Qt's own texts (the file dialog's) in the user's language, where the translations are
    // installed; English otherwise. A box's buttons speak the program's language instead.
    if (translator_.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
      QApplication::installTranslator(&translator_);
    }
  }

  Answer Show(const MsgBoxRequest& box, const AnswerWords& answers) override {
    return ShowMessageBox(box, answers);
  }
  void ShowOpen(FileDialog& dialog) override { ShowOpenDialog(dialog); }
  bool ShowProgress(const ProgressRequest& progress) override {
    if (!progress_) progress_ = std::make_unique<QtProgressWindow>();
    return progress_->Show(progress);
  }
  void CloseProgress() override { progress_.reset(); }
  std::unique_ptr<ConfiguratorWindow> CreateConfiguratorWindow() override {
    // Desktops find the window's launcher, and with it its name and icon, by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("kartiva-menorix"));
    return std::make_unique<QtConfiguratorWindow>();
  }

 private:
  // QApplication keeps references to its arguments for its whole life.
  static inline int argc_ = 1;
  static inline char name_[] = "kartiva";
  static inline char* argv_[] = {name_, nullptr};

  QApplication application_;
  QTranslator translator_;
  std::unique_ptr<QtProgressWindow> progress_;  // gone before the application
};

// Leaves the trace of a failure to start Qt, which the program goes on past on the terminal. The
// module links nothing of the programs, so it writes the line itself.
void TraceStartFailure(const char* what) {
  std::fprintf(stderr, "%s: Qt could not start, the terminal serves instead: %s\n", kModuleFile,
               what);
}

// The programs carry a C++ runtime of their own and the module uses the shared one, so the end of
// a program (End's exception) thrown in a handler of the configurator's window passes through the
// module's frames on its way out of Qt's event loop: with the programs' unwinder, but with the
// shared runtime's personality for those frames, which asks the shared unwinder for register
// sizes that it fills in only on its own first unwinding (before it, the program aborted). One
// exception thrown and caught here does that first unwinding.
void PrepareUnwinder() {
  try {
    throw 0;
  } catch (int) {  // thrown for the unwinding alone
  }
}

}  // namespace
}  // namespace kartiva::qt

extern "C" __attribute__((visibility("default"))) kartiva::qt::GuiModule* kartiva_qt_open() {
  try {
    kartiva::qt::PrepareUnwinder();
    return new kartiva::qt::QtGui();
  } catch (const std::exception& failure) {
    kartiva::qt::TraceStartFailure(failure.what());
  } catch (...) {
    kartiva::qt::TraceStartFailure("a failure of unknown kind");
  }
  return nullptr;
}

extern "C" __attribute__((visibility("default"))) bool kartiva_qt_probe() {
  try {
    int argc = 1;
    char name[] = "kartiva";
    char* argv[] = {name, nullptr};
    const QGuiApplication application(argc, argv);
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal") &&
           QGuiApplication::primaryScreen() != nullptr;
  } catch (const std::exception& failure) {
    kartiva::qt::TraceStartFailure(failure.what());
  } catch (...) {
    kartiva::qt::TraceStartFailure("a failure of unknown kind");
  }
  return false;
}
