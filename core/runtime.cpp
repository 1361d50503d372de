#include "core/runtime.h"

#include <stdexcept>
#include <utility>

namespace kartiva {

FileQueue& Files(Runtime& runtime) {
  if (!runtime.files) throw std::logic_error("the form was loaded without its files");
  return *runtime.files;
}

Answer MsgBox(Runtime& runtime, MsgBoxRequest box) {
  if (box.title.empty()) box.title = runtime.program.title;
  const bool informs = box.buttons == Buttons::Ok;
  if (informs && runtime.files && runtime.files->AlreadyTold(box)) return Answer::Ok;
  return runtime.ui.Show(box);
}

Answer FailureBox(Runtime& runtime, MsgBoxRequest box) {
  if (box.title.empty()) box.title = runtime.program.title;
  if (runtime.files && runtime.files->Collect(box)) return Answer::Ok;
  runtime.failureShown = true;
  return runtime.ui.Show(box);
}

}  // namespace kartiva
