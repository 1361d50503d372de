#pragma once

// Every window of the programs opens in the middle of its screen's work area, as on Windows.

#include <QWidget>

namespace kartiva::qt {

// Sizes `window` to its contents where it has a layout, moves it to the middle of the work area of
// its screen, and shows it.
void ShowCentred(QWidget& window);

}  // namespace kartiva::qt
