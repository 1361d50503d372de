#include "platform/qt/centred.h"

#include <QScreen>

namespace kartiva::qt {

void ShowCentred(QWidget& window) {
  if (window.layout()) window.adjustSize();
  if (const QScreen* screen = window.screen()) {
    window.move(screen->availableGeometry().center() - window.rect().center());
  }
  window.show();
}

}  // namespace kartiva::qt
