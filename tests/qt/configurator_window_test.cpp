// frmAddContext in its real Qt window, rendered on Qt's offscreen platform: the shading, the
// rounded outline, the controls and the link, as the user sees them.

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTranslator>

#include <gtest/gtest.h>

#include <cstdlib>

#include "menorix/frm_add_context.h"
#include "platform/qt/configurator_window.h"
#include "platform/qt/message_boxes.h"
#include "platform/qt/progress_window.h"
#include "tests/support/fakes.h"
#include "tests/support/memory_registry.h"

namespace kartiva::testing {
namespace {

QColor Rgb(int red, int green, int blue) { return QColor(red, green, blue); }

class QtWindow : public ::testing::Test {
 protected:
  QtWindow() {
    rig_.facts.version = {1, 1, 0};
    form_.Form_Load();
    window_.Present(form_);
    QApplication::processEvents();
  }

  // The window as the screen shows it: what it paints inside its outline, nothing outside.
  QImage Shown() {
    QWidget& widget = window_.widget();
    QImage image(widget.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), widget.mask());
    return image;
  }

  template <typename T>
  T& Child(const char* name) {
    T* child = window_.widget().findChild<T*>(QString::fromUtf8(name));
    if (!child) throw std::runtime_error(std::string("no control ") + name);
    return *child;
  }

  Rig rig_{"", "Menorix"};
  MemoryRegistry registry_;
  ClassesRoots classes_{registry_, registry_, registry_};
  basGUI gui_;
  qt::QtConfiguratorWindow window_;
  frmAddContext form_{rig_.runtime, gui_, window_, classes_};
};

TEST_F(QtWindow, ShowsTheBandsInsideItsRoundedOutline) {
  const QImage shown = Shown();
  ASSERT_TRUE(shown.save(SCREENSHOT_PATH));
  ASSERT_EQ(shown.size(), QSize(312, 131));
  ASSERT_EQ(gui_.BandCount, 256) << "the offscreen screen is a 32-bit display";

  // Two columns that no control covers.
  const struct {
    int row;
    QColor color;
  } rows[] = {{130, Rgb(181, 218, 249)},
              {54, Rgb(108, 154, 200)},
              {1, Rgb(57, 109, 165)},
              {0, Rgb(56, 108, 164)}};
  for (const auto& row : rows) {
    for (int x : {20, 250}) {
      EXPECT_EQ(shown.pixelColor(x, row.row), row.color) << "row " << row.row << ", column " << x;
    }
  }

  // Pixels cut off at each end of the first and last ten rows by the 20 x 20 corner ellipses.
  const int insets[] = {7, 5, 3, 2, 2, 1, 1, 0, 0, 0};
  for (int r = 0; r < 10; ++r) {
    for (int y : {r, 130 - r}) {
      SCOPED_TRACE("row " + std::to_string(y));
      const int inset = insets[r];
      if (inset > 0) {
        EXPECT_EQ(shown.pixelColor(inset - 1, y).alpha(), 0);
        EXPECT_EQ(shown.pixelColor(312 - inset, y).alpha(), 0);
      }
      EXPECT_EQ(shown.pixelColor(inset, y).alpha(), 255);
      EXPECT_EQ(shown.pixelColor(311 - inset, y).alpha(), 255);
    }
  }
}

TEST_F(QtWindow, ControlsSitAtTheirPlacesInPixels) {
  const struct {
    const char* name;
    QRect place;
  } controls[] = {
      {"lblVersion", {8, 8, 265, 17}},   {"lblDescr", {8, 18, 177, 17}},
      {"cmdEnde", {288, 8, 17, 13}},     {"cmdAppend", {104, 48, 105, 17}},
      {"cmdDelete", {104, 72, 105, 17}}, {"lblWWW", {8, 112, 297, 17}},
  };
  for (const auto& control : controls) {
    EXPECT_EQ(Child<QWidget>(control.name).geometry(), control.place) << control.name;
  }

  const QImage shown = Shown();
  const QColor white = Rgb(255, 255, 255);
  // Line1 runs white across the whole width between two rows of the shading.
  for (int x : {0, 20, 156, 311}) EXPECT_EQ(shown.pixelColor(x, 33), white) << x;
  EXPECT_NE(shown.pixelColor(20, 32), white);
  EXPECT_NE(shown.pixelColor(20, 34), white);
  // The buttons have a white face; the labels let the shading show through beside their text.
  EXPECT_EQ(shown.pixelColor(106, 50), white);
  EXPECT_EQ(shown.pixelColor(106, 74), white);
  EXPECT_EQ(shown.pixelColor(270, 12), shown.pixelColor(280, 12));
  EXPECT_EQ(shown.pixelColor(12, 127), shown.pixelColor(3, 127));

  EXPECT_EQ(window_.widget().windowTitle(), QStringLiteral("Menorix - V. 1.1 - Konfiguration"));
  EXPECT_EQ(Child<QLabel>("lblVersion").text(), QStringLiteral("Menorix V. 1.1"));
  EXPECT_EQ(Child<QLabel>("lblWWW").toolTip(), QStringLiteral("...zur Menorix-Webseite"));
  EXPECT_EQ(Child<QLabel>("lblWWW").cursor().shape(), Qt::WhatsThisCursor);
  EXPECT_EQ(Child<QPushButton>("cmdDelete").toolTip(),
            QString::fromUtf8("Entfernt die Einträge im Kontextmenü des Windows-Explorers"));
  EXPECT_DOUBLE_EQ(window_.widget().font().pointSizeF(), 8.25);

  // Its icon is the program's picture: 16 x 16 as on Windows, 48 x 48 for panels that show more.
  const struct {
    int x;
    int y;
    QColor colour;  // its alpha alone when transparent
  } pixels[] = {{0, 0, QColor(0, 0, 0, 0)},
                {2, 1, Rgb(57, 107, 165)},
                {5, 5, Rgb(0, 128, 64)},
                {1, 12, Rgb(181, 218, 249)}};
  for (int scale : {1, 3}) {
    const QImage icon = window_.widget()
                            .windowIcon()
                            .pixmap(QSize(16, 16) * scale)
                            .toImage()
                            .convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(icon.size(), QSize(16, 16) * scale);
    for (const auto& pixel : pixels) {
      const QColor shown = icon.pixelColor(pixel.x * scale + scale / 2, pixel.y * scale);
      EXPECT_EQ(shown.alpha(), pixel.colour.alpha()) << pixel.x << "," << pixel.y;
      if (pixel.colour.alpha() != 0) {
        EXPECT_EQ(shown, pixel.colour) << pixel.x << "," << pixel.y;
      }
    }
  }
}

// What a screen reader meets: a frame named by the window's title, a link named by its host,
// and a close button named for what it does, not "X".
TEST_F(QtWindow, ScreenReadersMeetAFrameALinkAndNamedButtons) {
  const struct {
    QObject* object;
    QAccessible::Role role;
    QString name;
    QString description;
  } controls[] = {
      {&window_.widget(), QAccessible::Window, QStringLiteral("Menorix - V. 1.1 - Konfiguration"),
       QString()},
      {&Child<QLabel>("lblWWW"), QAccessible::Link, QStringLiteral("menorix.kartiva-tools.example"),
       QStringLiteral("...zur Menorix-Webseite")},
      {&Child<QPushButton>("cmdEnde"), QAccessible::Button, QStringLiteral("Programm beenden"),
       QStringLiteral("...beendet das Programm")},
      {&Child<QPushButton>("cmdAppend"), QAccessible::Button, QStringLiteral("Aktivieren"),
       QString::fromStdString(form_.cmdAppend.toolTipText)},
  };
  for (const auto& control : controls) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control.object);
    ASSERT_NE(accessible, nullptr) << control.name.toStdString();
    EXPECT_EQ(accessible->role(), control.role) << control.name.toStdString();
    EXPECT_EQ(accessible->text(QAccessible::Name), control.name);
    if (!control.description.isNull()) {
      EXPECT_EQ(accessible->text(QAccessible::Description), control.description);
    }
  }
  QAccessibleInterface* link = QAccessible::queryAccessibleInterface(&Child<QLabel>("lblWWW"));
  ASSERT_NE(link->actionInterface(), nullptr);
  EXPECT_TRUE(
      link->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
}

TEST_F(QtWindow, LinkTurnsLightTealWhilePressedAndDarkTealAfterwards) {
  QLabel& link = Child<QLabel>("lblWWW");
  EXPECT_EQ(link.palette().color(QPalette::WindowText), Rgb(255, 255, 255));
  const QPointF inside(20, 5);
  // The right button, so that no web page is opened.
  QMouseEvent press(QEvent::MouseButtonPress, inside, link.mapToGlobal(inside), Qt::RightButton,
                    Qt::RightButton, Qt::NoModifier);
  QApplication::sendEvent(&link, &press);
  EXPECT_EQ(link.palette().color(QPalette::WindowText), Rgb(0, 160, 160));
  QMouseEvent release(QEvent::MouseButtonRelease, inside, link.mapToGlobal(inside), Qt::RightButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&link, &release);
  EXPECT_EQ(link.palette().color(QPalette::WindowText), Rgb(0, 80, 80));
  EXPECT_TRUE(window_.widget().isVisible());
}

TEST(QtDialogs, QuestionButtonsSpeakTheProgramsLanguageWhateverTheLocale) {
  // Qt's own German texts, as a German desktop would install them.
  QTranslator german;
  const bool translated =
      german.load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                  QLibraryInfo::path(QLibraryInfo::TranslationsPath));
  if (translated) QApplication::installTranslator(&german);
  const struct {
    AnswerWords words;
    QString press;
    Answer answer;
    QStringList buttons;
  } cases[] = {{kGermanAnswers, "Nein", Answer::No, {"Ja", "Nein"}},
               {kEnglishAnswers, "Yes", Answer::Yes, {"Yes", "No"}}};
  for (const auto& c : cases) {
    QStringList shown;
    const MsgBoxRequest question{.text = "Kartiva starten?", .buttons = Buttons::YesNo};
    // Runs inside the box's own event loop: reads its buttons, then presses one.
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      for (QAbstractButton* button : box->buttons()) shown << button->text();
      for (QAbstractButton* button : box->buttons()) {
        if (button->text() == c.press) button->click();
      }
    });
    EXPECT_EQ(qt::ShowMessageBox(question, c.words), c.answer) << c.press.toStdString();
    shown.sort();
    QStringList expected = c.buttons;
    expected.sort();
    EXPECT_EQ(shown, expected);
  }
  if (translated) QApplication::removeTranslator(&german);
}

TEST(QtDialogs, ProgressWindowOpensInTheMiddleOfTheScreenLikeEveryOther) {
  qt::QtProgressWindow progress;
  progress.Show({.title = "Tresolo",
                 .line = "File 37 of 100: a.txt",
                 .cancel = "Cancel",
                 .done = 36,
                 .total = 100});
  const QRect screen = progress.screen()->availableGeometry();
  const QPoint offset = progress.geometry().center() - screen.center();
  // Within the rounding of two centres.
  EXPECT_LE(std::abs(offset.x()), 2) << offset.x();
  EXPECT_LE(std::abs(offset.y()), 2) << offset.y();
  EXPECT_GT(progress.width(), 300);
}

TEST(QtDialogs, FileFiltersShowEveryFileForStarDotStar) {
  const struct {
    std::string filter;
    QString qt;
  } filters[] = {
      {"All files (*.*)|*.*", "All files (*)"},
      {"Word|*.doc;*.docx|All files|*.*", "Word (*.doc *.docx);;All files (*)"},
      {"Images (*.tif; *.png)|*.tif; *.png", "Images (*.tif *.png)"},
      {"", ""},
  };
  for (const auto& f : filters) EXPECT_EQ(qt::QtFilter(f.filter), f.qt) << f.filter;
}

}  // namespace
}  // namespace kartiva::testing

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
