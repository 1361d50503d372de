// Tresolo: files the file named on its command line into the active Kartiva archive.

#include "platform/program_main.h"
#include "store/frm_store_docs.h"

#ifndef _WIN32
#include <iostream>
#include <string_view>

#include "localstore/check.h"
#include "localstore/store.h"
#endif

int main(int argc, char** argv) {
#ifndef _WIN32
  // The repair of the local store. The file managers hand over absolute paths, and a file of
  // this name in the current folder is stored as "./--check".
  if (argc == 2 && std::string_view(argv[1]) == "--check") {
    return kartiva::localstore::CheckStore(kartiva::localstore::DefaultRoot(), std::cout);
  }
#endif
  return kartiva::RunFileProgram(argc, argv, {"Tresolo", {1, 0, 0}}, kartiva::kStoreBatchTexts,
                                 kartiva::RunStoreTool);
}
