#pragma once

// The progress window of a long batch: a line naming the file being done, a bar and a cancel
// button. It is not modal: the program pumps its events between files.

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include "core/runtime.h"

namespace kartiva::qt {

class QtProgressWindow : public QWidget {
 public:
  QtProgressWindow();

  // Shows `progress` and handles the events that waited; true once the user cancelled, by the
  // button or by closing the window.
  bool Show(const ProgressRequest& progress);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QLabel* line_;
  QProgressBar* bar_;
  QPushButton* cancel_;
  bool cancelled_ = false;
};

}  // namespace kartiva::qt
