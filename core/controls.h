#pragma once

// The controls of a form as the form's logic sees them: captions, texts, values, enabled states,
// colours and design-time positions. No window stands behind them; a platform that shows the form
// reads them from here.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kartiva {

// Left, top, width and height in twips, measured from the top left corner of the client area.
struct Twips {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool operator==(const Twips&) const = default;
};

// A colour as the form runtime stores it: red + 256 * green + 65536 * blue. A value with the top
// bit set names a system colour instead, by its index in the low byte.
using OleColor = std::int32_t;

constexpr OleColor Rgb(std::int32_t red, std::int32_t green, std::int32_t blue) {
  return red + 256 * green + 65536 * blue;
}

inline constexpr OleColor vbWhite = 0xFFFFFF;
inline constexpr OleColor vbWindowText = static_cast<OleColor>(0x80000008u);
inline constexpr OleColor vbHighlightText = static_cast<OleColor>(0x8000000Eu);
inline constexpr OleColor vbButtonFace = static_cast<OleColor>(0x8000000Fu);
inline constexpr OleColor vbButtonText = static_cast<OleColor>(0x80000012u);

constexpr bool IsSystemColor(OleColor color) { return color < 0; }

// Mouse pointers by the form runtime's numbers.
inline constexpr std::int16_t vbDefault = 0;
inline constexpr std::int16_t vbArrowQuestion = 14;

// Mouse buttons and shift keys as the mouse events pass them, one bit each.
inline constexpr std::int16_t vbLeftButton = 1;
inline constexpr std::int16_t vbRightButton = 2;
inline constexpr std::int16_t vbMiddleButton = 4;
inline constexpr std::int16_t vbShiftMask = 1;
inline constexpr std::int16_t vbCtrlMask = 2;
inline constexpr std::int16_t vbAltMask = 4;

enum class Alignment { Left, Right, Center };

struct Frame {
  std::string caption;
  Twips position;
};

struct Label {
  std::string caption;
  Twips position;
  OleColor foreColor = vbButtonText;
  bool transparent = false;  // the form's background shows behind the text
  Alignment alignment = Alignment::Left;
  bool fontBold = false;
  bool fontUnderline = false;
  std::string toolTipText{};
  std::int16_t mousePointer = vbDefault;
  bool link = false;  // opens a web page when clicked: a link, to a screen reader
};

struct CommandButton {
  std::string caption;
  Twips position;
  bool enabled = true;
  OleColor backColor = vbButtonFace;
  std::string toolTipText{};
  std::int16_t tabIndex = 0;
  std::string accessibleName{};  // what a screen reader calls it, where its caption does not say
};

// A line from (x1, y1) to (x2, y2), in twips.
struct Line {
  std::int32_t x1 = 0;
  std::int32_t y1 = 0;
  std::int32_t x2 = 0;
  std::int32_t y2 = 0;
  OleColor borderColor = vbWindowText;
};

// The values of a check box.
inline constexpr std::int16_t kUnchecked = 0;
inline constexpr std::int16_t kChecked = 1;
inline constexpr std::int16_t kGrayed = 2;

struct CheckBox {
  std::string caption;
  std::int16_t value = kUnchecked;
  Twips position;
  bool enabled = true;
};

struct OptionButton {
  std::string caption;
  bool value = false;
  Twips position;
  bool enabled = true;
};

// A group of option buttons, indexed from 0, of which at most one is selected.
template <std::size_t N>
struct OptionGroup {
  std::array<OptionButton, N> buttons;
  OptionButton& operator[](std::size_t index) { return buttons.at(index); }
  const OptionButton& operator[](std::size_t index) const { return buttons.at(index); }
  void Select(std::size_t index) {
    for (std::size_t i = 0; i < N; ++i) buttons[i].value = i == index;
  }
};

// A combo box with an editable text and a drop-down list.
struct ComboBox {
  std::string text;
  std::vector<std::string> list;
  Twips position;
  bool enabled = true;
  void AddItem(const std::string& item) { list.push_back(item); }
};

// A text box. Setting a text that differs from the present one runs the change reaction, as the
// form runtime does; setting the same text again does not.
class TextBox {
 public:
  TextBox(std::string text, Twips position) : position(position), text_(std::move(text)) {}

  const std::string& text() const { return text_; }
  void SetText(std::string text);

  std::function<void()> change;  // the change reaction; none when empty
  Twips position;
  bool enabled = true;

 private:
  std::string text_;
};

}  // namespace kartiva
