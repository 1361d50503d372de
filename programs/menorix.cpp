// Menorix: adds the two context-menu entries that start Mappix and Tresolo, or removes them again.

#include "menorix/frm_add_context.h"
#include "platform/program_main.h"

int main(int argc, char** argv) {
  return kartiva::RunConfiguratorProgram(
      argc, argv, {"Menorix", kartiva::kReleaseVersion, kartiva::kGermanAnswers},
      kartiva::RunMenorix);
}
