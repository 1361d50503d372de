#pragma once

// Thunar keeps every custom action of the user in one file, uca.xml. The entries written here are
// merged into it without a full XML round trip: the file is scanned for the top-level <action>
// elements, those whose unique-id carries the marker are cut out and the wanted ones appended, so
// every byte of the user's own actions stays as it was.

#include <string>
#include <string_view>
#include <vector>

namespace kartiva::linux_os {

// The text of uca.xml with exactly `actions` (complete <action> elements) as the actions written
// here, from its current text ("" when there is no file). "" in `merged` means no file: a file
// without actions that holds nothing but what a new file is written with goes. False, with the
// reason in `problem`, when the text is not a uca.xml that can be rewritten without harm to the
// user's actions.
bool MergeThunarActions(std::string_view current, const std::vector<std::string>& actions,
                        std::string& merged, std::string& problem);

}  // namespace kartiva::linux_os
