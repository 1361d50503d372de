// Tresolo: files the file named on its command line into the active Kartiva archive.

#include "platform/program_main.h"
#include "tresolo/frm_store_docs.h"

int main(int argc, char** argv) {
  if (const std::optional<int> checked = kartiva::RunStoreCheck(argc, argv)) return *checked;
  return kartiva::RunFileProgram(argc, argv,
                                 {"Tresolo", kartiva::kReleaseVersion, kartiva::kEnglishAnswers},
                                 kartiva::kStoreBatchTexts, kartiva::RunTresolo);
}
