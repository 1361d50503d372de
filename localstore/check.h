#pragma once

#include <cstdio>
#include <filesystem>

namespace kartiva::localstore {

// The explicit repair of a whole store: every basket and every archive is read in full, whatever
// their stamps say, and repaired by the same recovery that every operation runs. Writes one line
// per folder to `report`:
//   <basket|archive> <name>: <finished> finished, <handed back> handed back, <rows added> rows
//   added, <rows removed> rows removed, <removed> removed, <left> left for a later run
// ("1 row added"), then a line for each file it could not file, since no document has its name:
//   <basket|archive> <name>: not filed: <file> (no document has this name)
// and hands back the exit status: 0 when all is in order, 1 when there is no store at `root`, 2
// when something could not be read now (an index locked or damaged, a folder unreadable) or a
// file could not be filed. The report is a C library FILE: the C++ streams would bring their
// locales into every program that links the store, and their set-up into every start.
int CheckStore(const std::filesystem::path& root, std::FILE* report);

}  // namespace kartiva::localstore
