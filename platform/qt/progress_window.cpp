#include "platform/qt/progress_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QVBoxLayout>

#include "platform/qt/centred.h"

namespace kartiva::qt {
namespace {

constexpr int kLineWidth = 360;

}  // namespace

QtProgressWindow::QtProgressWindow()
    : line_(new QLabel(this)), bar_(new QProgressBar(this)), cancel_(new QPushButton(this)) {
  setWindowFlag(Qt::Dialog);
  line_->setTextFormat(Qt::PlainText);
  line_->setMinimumWidth(kLineWidth);
  bar_->setTextVisible(false);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(line_);
  layout->addWidget(bar_);
  layout->addWidget(cancel_, 0, Qt::AlignRight);
  connect(cancel_, &QPushButton::clicked, this, [this] {
    cancelled_ = true;
    cancel_->setEnabled(false);
  });
}

bool QtProgressWindow::Show(const ProgressRequest& progress) {
  setWindowTitle(QString::fromStdString(progress.title));
  // A long name is cut in its middle, where a path's least telling part is.
  line_->setText(line_->fontMetrics().elidedText(QString::fromStdString(progress.line),
                                                 Qt::ElideMiddle, kLineWidth));
  cancel_->setText(QString::fromStdString(progress.cancel));
  bar_->setRange(0, static_cast<int>(progress.total));
  bar_->setValue(static_cast<int>(progress.done));
  if (!isVisible()) ShowCentred(*this);
  QCoreApplication::processEvents();
  return cancelled_;
}

void QtProgressWindow::closeEvent(QCloseEvent* event) {
  cancelled_ = true;
  event->accept();
}

}  // namespace kartiva::qt
