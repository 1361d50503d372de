// Tresolo: files the file named on its command line into the active Kartiva archive.

#include "platform/program_main.h"
#include "tresolo/frm_store_docs.h"

int main(int argc, char** argv) {
  return kartiva::RunProgram(argc, argv,
                             {.title = "Tresolo",
                              .version = kartiva::kReleaseVersion,
                              .answers = kartiva::kEnglishAnswers,
                              .loadForm = kartiva::RunTresolo,
                              .batch = &kartiva::kStoreBatchTexts,
                              .checksStore = true});
}
