#pragma once

// Which context-menu entries of the registry file the file managers are to offer.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "menorix/key_tree.h"
#include "platform/linux/file_manager/file_manager_entries.h"

namespace kartiva::linux_os {

// The program that a command value of the configurator's starts (CommandProgramPath): where the
// path ends in a Windows program file ("\Mappix.exe", SplitProgramPath), the program of the same
// name in that folder ("/Mappix"). Nothing when the value has another form or names no absolute
// path.
std::optional<std::string> CommandProgram(std::string_view command);

// Every key "*\shell\<menu text>" whose "command" sub-key holds a command of that form, in the
// order of the keys.
std::vector<MenuEntry> PublishedEntries(const KeyTree& registry);

}  // namespace kartiva::linux_os
