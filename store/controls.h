#pragma once

// The controls of a form as the form's logic sees them: captions, texts, values, enabled states
// and design-time positions. No window stands behind them; a platform that shows the form reads
// them from here.

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

struct Frame {
  std::string caption;
  Twips position;
};

struct Label {
  std::string caption;
  Twips position;
};

struct CommandButton {
  std::string caption;
  Twips position;
  bool enabled = true;
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
