#pragma once

// Message boxes and the file-open dialog as Qt dialogs.

#include <QString>

#include <string>

#include "core/runtime.h"

namespace kartiva::qt {

// A modal box with the requested buttons and icon; its default is the set's first button (OK or
// Yes), and Escape or closing it answers No in a Yes/No box. Its buttons say `answers` (and OK),
// whatever the locale.
Answer ShowMessageBox(const MsgBoxRequest& box, const AnswerWords& answers);

// A dialog filter of the form runtime, "Description|pattern;pattern|...", as Qt writes it:
// "Description (pattern pattern);;...". Its "*.*" is every file, as on Windows.
QString QtFilter(const std::string& filter);

// The file-open dialog; a confirmed choice replaces dialog.fileName, a cancel leaves it.
void ShowOpenDialog(FileDialog& dialog);

}  // namespace kartiva::qt
