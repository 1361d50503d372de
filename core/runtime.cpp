#include "core/runtime.h"

#include <utility>

namespace kartiva {

Answer MsgBox(Runtime& runtime, MsgBoxRequest box) {
  if (box.title.empty()) box.title = runtime.program.title;
  return runtime.ui.Show(box);
}

Answer FailureBox(Runtime& runtime, MsgBoxRequest box) {
  runtime.failureShown = true;
  return MsgBox(runtime, std::move(box));
}

}  // namespace kartiva
