#pragma once

#include <filesystem>
#include <ostream>

namespace kartiva::localstore {

// The explicit repair of a whole store: every basket and every archive is read in full, whatever
// their stamps say, and repaired by the same recovery that every operation runs. Writes one line
// per folder to `report`:
//   <basket|archive> <name>: <finished> finished, <handed back> handed back, <rows added> rows
//   added, <rows removed> rows removed, <removed> removed, <left> left for a later run
// and hands back the exit status: 0 when nothing is left, 1 when there is no store at `root`, 2
// when something could not be read now (an index locked or damaged, a folder unreadable).
int CheckStore(const std::filesystem::path& root, std::ostream& report);

}  // namespace kartiva::localstore
