#pragma once

// frmAddContext's labels and buttons as a window builds them.

#include <algorithm>
#include <iterator>
#include <vector>

#include "menorix/frm_add_context.h"

namespace kartiva {

// A label or button of the form as a window builds it: the name its events carry, the name of its
// control, and the form's member.
template <typename Control>
struct FormControl {
  ControlName name;
  const char* objectName;
  Control frmAddContext::*member;
};
using LabelControl = FormControl<Label>;
using ButtonControl = FormControl<CommandButton>;

// The labels in the order in which they are painted, the last one on top.
inline constexpr LabelControl kLabelControls[] = {
    {ControlName::lblVersion, "lblVersion", &frmAddContext::lblVersion},
    {ControlName::lblDescr, "lblDescr", &frmAddContext::lblDescr},
    {ControlName::lblWWW, "lblWWW", &frmAddContext::lblWWW},
};

inline constexpr ButtonControl kButtonControls[] = {
    {ControlName::cmdAppend, "cmdAppend", &frmAddContext::cmdAppend},
    {ControlName::cmdDelete, "cmdDelete", &frmAddContext::cmdDelete},
    {ControlName::cmdEnde, "cmdEnde", &frmAddContext::cmdEnde},
};

// The buttons in the order of their tab indices, in which the keyboard moves between them. Inline,
// so that a window adapter loaded as a module needs nothing else of the form.
inline std::vector<ButtonControl> ButtonsInTabOrder(const frmAddContext& form) {
  std::vector<ButtonControl> buttons(std::begin(kButtonControls), std::end(kButtonControls));
  std::stable_sort(buttons.begin(), buttons.end(),
                   [&form](const ButtonControl& a, const ButtonControl& b) {
                     return (form.*a.member).tabIndex < (form.*b.member).tabIndex;
                   });
  return buttons;
}

}  // namespace kartiva
