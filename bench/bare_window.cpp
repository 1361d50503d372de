// The yardstick for the first window: a bare Qt program that shows a frameless window of
// Menorix's size.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QWidget window(nullptr, Qt::FramelessWindowHint);
  window.resize(312, 131);
  window.show();
  return application.exec();
}
