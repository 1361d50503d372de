#include <gtest/gtest.h>

#include <string>

#include "menorix/window_port.h"
#include "platform/linux/console_window.h"

namespace kartiva::testing {
namespace {

TEST(ConsoleChoice, LettersAndWordsChooseTheActionsAnythingElseEnds) {
  const struct {
    std::string line;
    ControlName choice;
  } lines[] = {
      {"a", ControlName::cmdAppend},
      {"A", ControlName::cmdAppend},
      {" aktivieren\r", ControlName::cmdAppend},
      {"Aktivieren", ControlName::cmdAppend},
      {"d", ControlName::cmdDelete},
      {"\tDEAKTIVIEREN ", ControlName::cmdDelete},
      {"", ControlName::cmdEnde},
      {"x", ControlName::cmdEnde},
      {"ad", ControlName::cmdEnde},
      {"aktiv", ControlName::cmdEnde},
      {"j", ControlName::cmdEnde},
  };
  for (const auto& l : lines) {
    EXPECT_EQ(ConsoleChoice(l.line), l.choice) << '"' << l.line << '"';
  }
}

}  // namespace
}  // namespace kartiva::testing
