// Menorix: adds the two context-menu entries that start Mappix and Tresolo, or removes them again.

#include "menorix/frm_add_context.h"
#include "platform/configurator_ports.h"
#include "platform/program_main.h"

int main(int argc, char** argv) {
  return kartiva::RunProgram(argc, argv,
                             {.title = "Menorix",
                              .version = kartiva::kReleaseVersion,
                              .answers = kartiva::kGermanAnswers,
                              .loadForm = [](kartiva::Runtime& runtime) {
                                kartiva::RunWithConfiguratorPorts(runtime, kartiva::RunMenorix);
                              }});
}
