// The yardstick for the first window: a bare Qt program that shows a frameless window of
// Menorix's size; with the argument "text", also one line of text in Menorix's font, so that the
// figure shows what Qt's fonts cost a window that shows any text.
#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <cstring>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QWidget window(nullptr, Qt::FramelessWindowHint);
  window.resize(312, 131);
  if (argc > 1 && std::strcmp(argv[1], "text") == 0) {
    auto* text = new QLabel("Menorix V. 1.1", &window);  // the window owns it
    text->setFont(QFont("Tahoma", 8));
  }
  window.show();
  return application.exec();
}
