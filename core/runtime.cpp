#include "core/runtime.h"

namespace kartiva {

Answer MsgBox(Runtime& runtime, MsgBoxRequest box) {
  if (box.title.empty()) box.title = runtime.program.title;
  return runtime.ui.Show(box);
}

}  // namespace kartiva
