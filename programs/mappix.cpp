// Mappix: imports the file named on its command line into the user's active Kartiva basket.

#include "mappix/frm_import.h"
#include "platform/program_main.h"

int main(int argc, char** argv) {
  return kartiva::RunProgram(argc, argv,
                             {.title = "Mappix",
                              .version = kartiva::kReleaseVersion,
                              .answers = kartiva::kGermanAnswers,
                              .loadForm = kartiva::RunMappix,
                              .batch = &kartiva::kImportBatchTexts});
}
