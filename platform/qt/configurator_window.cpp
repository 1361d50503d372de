#include "platform/qt/configurator_window.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QDesktopServices>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRegion>
#include <QScreen>
#include <QUrl>
#include <QWindow>

#include <string>

#include "menorix/form_controls.h"
#include "menorix/twips.h"
#include "platform/qt/centred.h"

namespace kartiva::qt {
namespace {

std::int16_t ButtonOf(const QMouseEvent& event) {
  switch (event.button()) {
    case Qt::LeftButton:
      return vbLeftButton;
    case Qt::RightButton:
      return vbRightButton;
    case Qt::MiddleButton:
      return vbMiddleButton;
    default:
      return 0;
  }
}

std::int16_t ShiftOf(const QMouseEvent& event) {
  const Qt::KeyboardModifiers keys = event.modifiers();
  return static_cast<std::int16_t>((keys & Qt::ShiftModifier ? vbShiftMask : 0) |
                                   (keys & Qt::ControlModifier ? vbCtrlMask : 0) |
                                   (keys & Qt::AltModifier ? vbAltMask : 0));
}

QColor ColorOf(OleColor color, const QPalette& palette) {
  if (!IsSystemColor(color)) {
    return QColor(basGUI::GetRed(color), basGUI::GetGreen(color), basGUI::GetBlue(color));
  }
  switch (color) {
    case vbHighlightText:
      return palette.color(QPalette::HighlightedText);
    case vbButtonFace:
      return palette.color(QPalette::Button);
    case vbButtonText:
      return palette.color(QPalette::ButtonText);
    default:
      return palette.color(QPalette::WindowText);
  }
}

// A mouse event's arguments as the form's handlers take them: positions in twips.
struct MouseArguments {
  std::int16_t button;
  std::int16_t shift;
  float x;
  float y;
};

MouseArguments MouseOf(const QMouseEvent& event, const QWidget& widget) {
  return {ButtonOf(event), ShiftOf(event),
          PixelsToTwips(event.position().x(), widget.logicalDpiX()),
          PixelsToTwips(event.position().y(), widget.logicalDpiY())};
}

// The program's icon: 16 x 16 as on Windows, and larger for panels that show more.
QIcon MenorixIcon() {
  QIcon icon;
  for (int size : {16, 32, 48}) {
    icon.addFile(QStringLiteral(":/icons/menorix-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

Qt::Alignment AlignmentOf(Alignment alignment) {
  switch (alignment) {
    case Alignment::Center:
      return Qt::AlignHCenter;
    case Alignment::Right:
      return Qt::AlignRight;
    case Alignment::Left:
      break;
  }
  return Qt::AlignLeft;
}

QRect RectOf(const PixelRect& rect) {
  return QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

std::int32_t ScreenDepth() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->depth() : 24;
}

}  // namespace

// The window's own widget: it shows the painted client area and Line1, and reports presses on
// its background, resizing and closing.
class FormSurface : public QWidget {
 public:
  FormSurface() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {}

  std::function<void(QMouseEvent&)> pressed;
  std::function<void()> resized;
  std::function<void()> closing;
  const QPixmap* background = nullptr;
  QLine line;
  QColor lineColor;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    if (background) painter.drawPixmap(0, 0, *background);
    if (!line.isNull()) {
      painter.setPen(lineColor);
      painter.drawLine(line);
    }
  }
  void mousePressEvent(QMouseEvent* event) override {
    if (pressed) pressed(*event);
  }
  void resizeEvent(QResizeEvent*) override {
    if (resized) resized();
  }
  void closeEvent(QCloseEvent*) override {
    if (closing) closing();
  }
};

// A label that takes the mouse events on its area for itself, as the form runtime's labels do, so
// that a press on it does not reach the background.
class ControlLabel : public QLabel {
 public:
  explicit ControlLabel(QWidget* parent) : QLabel(parent) {}

  std::function<void(QMouseEvent&)> pressed;
  std::function<void(QMouseEvent&)> released;
  std::function<void()> activated;  // a click through a screen reader
  bool link = false;

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    if (pressed) pressed(*event);
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (released) released(*event);
  }
};

namespace {

// A link label as a screen reader meets it: a link named by its text, which it can follow.
class AccessibleLink : public QAccessibleWidget {
 public:
  explicit AccessibleLink(ControlLabel* label) : QAccessibleWidget(label, QAccessible::Link) {}

  QString text(QAccessible::Text text) const override {
    if (text == QAccessible::Name) return static_cast<QLabel*>(widget())->text();
    return QAccessibleWidget::text(text);
  }
  QStringList actionNames() const override {
    return QStringList(pressAction()) + QAccessibleWidget::actionNames();
  }
  void doAction(const QString& action) override {
    auto* label = static_cast<ControlLabel*>(widget());
    if (action != pressAction()) return QAccessibleWidget::doAction(action);
    if (label->activated) label->activated();
  }
};

// Qt takes a plain widget for a filler and a label for a label: the window is a frame, named by
// its title, and the link a link.
QAccessibleInterface* AccessibleOf(const QString&, QObject* object) {
  if (auto* surface = dynamic_cast<FormSurface*>(object)) {
    return new QAccessibleWidget(surface, QAccessible::Window);
  }
  auto* label = dynamic_cast<ControlLabel*>(object);
  return label && label->link ? new AccessibleLink(label) : nullptr;
}

}  // namespace

PixmapCanvas::PixmapCanvas(QSize size, std::int32_t bitsPerPixel)
    : pixmap_(size), bitsPerPixel_(bitsPerPixel) {
  pixmap_.fill(Qt::white);
}

std::int32_t PixmapCanvas::GetDeviceCaps(std::int32_t index) {
  if (index == kBitsPixel) return bitsPerPixel_;
  if (index == kPlanes) return 1;
  return 0;
}

BrushHandle PixmapCanvas::CreateSolidBrush(OleColor color) {
  const std::uintptr_t id = nextBrush_++;
  brushes_[id] = color;
  return BrushHandle{id};
}

void PixmapCanvas::FillRect(const PixelRect& rect, BrushHandle brush) {
  const auto found = brushes_.find(static_cast<std::uintptr_t>(brush));
  if (found == brushes_.end() || rect.right <= rect.left || rect.bottom <= rect.top) return;
  const OleColor color = found->second;
  QPainter painter(&pixmap_);
  painter.fillRect(RectOf(rect),
                   QColor(basGUI::GetRed(color), basGUI::GetGreen(color), basGUI::GetBlue(color)));
}

void PixmapCanvas::DeleteObject(BrushHandle brush) noexcept {
  brushes_.erase(static_cast<std::uintptr_t>(brush));
}

QtConfiguratorWindow::QtConfiguratorWindow()
    : surface_(std::make_unique<FormSurface>()),
      canvas_(QSize(TwipsToPixels(frmAddContext::kClientWidth, surface_->logicalDpiX()),
                    TwipsToPixels(frmAddContext::kClientHeight, surface_->logicalDpiY())),
              ScreenDepth()) {
  static const bool accessible = (QAccessible::installFactory(AccessibleOf), true);
  static_cast<void>(accessible);
  surface_->setFixedSize(canvas_.pixmap().size());
  surface_->setWindowIcon(MenorixIcon());
  surface_->background = &canvas_.pixmap();
  surface_->pressed = [this](QMouseEvent& event) {
    const MouseArguments mouse = MouseOf(event, *surface_);
    Dispatch([&](WindowEvents& form) {
      form.MouseDown(ControlName::Form, mouse.button, mouse.shift, mouse.x, mouse.y);
    });
  };
  surface_->resized = [this] { Dispatch([](WindowEvents& form) { form.Resize(); }); };
  surface_->closing = [this] {
    if (!closedByForm_) Dispatch([](WindowEvents& form) { form.Closed(); });
  };
}

QtConfiguratorWindow::~QtConfiguratorWindow() = default;

std::int32_t QtConfiguratorWindow::PixelsPerInchX() { return surface_->logicalDpiX(); }
std::int32_t QtConfiguratorWindow::PixelsPerInchY() { return surface_->logicalDpiY(); }

void QtConfiguratorWindow::SetWindowRgn(const RoundRectRegion& region) {
  QRegion mask;
  const PixelRect& bounds = region.bounds;
  for (std::int32_t y = bounds.top; y < bounds.bottom; ++y) {
    const std::int32_t inset = RoundRectRowInset(region, y);
    const std::int32_t width = bounds.right - bounds.left - 2 * inset;
    if (width > 0) mask += QRect(bounds.left + inset, y, width, 1);
  }
  surface_->setMask(mask);
  surface_->update();
}

// The window manager moves the window; the only way that works on Wayland as well.
void QtConfiguratorWindow::StartSystemMove() {
  if (QWindow* window = surface_->windowHandle()) window->startSystemMove();
}

// The desktop's URL handler starts in its own folder; the working folder has no meaning there.
bool QtConfiguratorWindow::OpenUrl(const std::string& address, const std::string&) {
  return QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
}

void QtConfiguratorWindow::Close() {
  closedByForm_ = true;
  surface_->hide();
}

QWidget& QtConfiguratorWindow::widget() { return *surface_; }

void QtConfiguratorWindow::Run(frmAddContext& form) {
  Present(form);
  if (!pending_) QApplication::exec();
  if (pending_) std::rethrow_exception(std::exchange(pending_, nullptr));
}

void QtConfiguratorWindow::Present(frmAddContext& form) {
  form_ = &form;
  QFont font{QString::fromUtf8(frmAddContext::kFontName.data(),
                               static_cast<qsizetype>(frmAddContext::kFontName.size()))};
  font.setPointSizeF(frmAddContext::kFontSize);
  surface_->setFont(font);
  AddControls();
  Sync();
  ShowCentred(*surface_);
}

void QtConfiguratorWindow::AddControls() {
  const std::int32_t dpiX = PixelsPerInchX();
  const std::int32_t dpiY = PixelsPerInchY();
  const Line& line = form_->Line1;
  surface_->line = QLine(TwipsToPixels(line.x1, dpiX), TwipsToPixels(line.y1, dpiY),
                         TwipsToPixels(line.x2, dpiX), TwipsToPixels(line.y2, dpiY));
  surface_->lineColor = ColorOf(line.borderColor, surface_->palette());

  for (const LabelControl& slot : kLabelControls) {
    const Label& label = form_->*slot.member;
    auto* widget = new ControlLabel(surface_.get());
    widget->setObjectName(QString::fromUtf8(slot.objectName));
    widget->setGeometry(RectOf(ControlRect(label.position, dpiX, dpiY)));
    QFont font = widget->font();
    font.setBold(label.fontBold);
    font.setUnderline(label.fontUnderline);
    widget->setFont(font);
    widget->setAlignment(AlignmentOf(label.alignment) | Qt::AlignTop);
    widget->setAutoFillBackground(!label.transparent);
    widget->link = label.link;
    const ControlName name = slot.name;
    widget->activated = [this, name] { Dispatch([&](WindowEvents& form) { form.Click(name); }); };
    widget->pressed = [this, name, widget](QMouseEvent& event) {
      const MouseArguments mouse = MouseOf(event, *widget);
      Dispatch([&](WindowEvents& form) {
        form.MouseDown(name, mouse.button, mouse.shift, mouse.x, mouse.y);
      });
    };
    widget->released = [this, name, widget](QMouseEvent& event) {
      const MouseArguments mouse = MouseOf(event, *widget);
      Dispatch([&](WindowEvents& form) {
        form.MouseUp(name, mouse.button, mouse.shift, mouse.x, mouse.y);
      });
      if (mouse.button == vbLeftButton && widget->rect().contains(event.position().toPoint())) {
        Dispatch([&](WindowEvents& form) { form.Click(name); });
      }
    };
  }

  QWidget* previous = nullptr;
  for (const ButtonControl& slot : ButtonsInTabOrder(*form_)) {
    const CommandButton& button = form_->*slot.member;
    auto* widget = new QPushButton(QString::fromStdString(button.caption), surface_.get());
    widget->setObjectName(QString::fromUtf8(slot.objectName));
    widget->setGeometry(RectOf(ControlRect(button.position, dpiX, dpiY)));
    widget->setToolTip(QString::fromStdString(button.toolTipText));
    widget->setAccessibleName(QString::fromStdString(button.accessibleName));
    widget->setStyleSheet(
        QStringLiteral("QPushButton { background-color: %1; border: 1px solid #7a7a7a; }")
            .arg(ColorOf(button.backColor, surface_->palette()).name()));
    const ControlName name = slot.name;
    QObject::connect(widget, &QPushButton::clicked,
                     [this, name] { Dispatch([&](WindowEvents& form) { form.Click(name); }); });
    if (previous) QWidget::setTabOrder(previous, widget);
    previous = widget;
  }
}

// Brings the widgets up to the form's captions, colours, tooltips and pointers.
void QtConfiguratorWindow::Sync() {
  surface_->setWindowTitle(QString::fromStdString(form_->Caption));
  for (const LabelControl& slot : kLabelControls) {
    const Label& label = form_->*slot.member;
    auto* widget = surface_->findChild<QLabel*>(QString::fromUtf8(slot.objectName));
    if (!widget) continue;
    widget->setText(QString::fromStdString(label.caption));
    widget->setToolTip(QString::fromStdString(label.toolTipText));
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, ColorOf(label.foreColor, surface_->palette()));
    widget->setPalette(palette);
    if (label.mousePointer == vbArrowQuestion) {
      widget->setCursor(Qt::WhatsThisCursor);
    } else {
      widget->unsetCursor();
    }
  }
  surface_->update();
}

void QtConfiguratorWindow::Dispatch(const std::function<void(WindowEvents&)>& event) {
  if (!form_ || pending_) return;
  try {
    event(*form_);
  } catch (...) {
    pending_ = std::current_exception();
    QCoreApplication::exit(0);
    return;
  }
  Sync();
}

}  // namespace kartiva::qt
