#include "core/controls.h"

namespace kartiva {

void TextBox::SetText(std::string text) {
  if (text == text_) return;
  text_ = std::move(text);
  if (change) change();
}

}  // namespace kartiva
