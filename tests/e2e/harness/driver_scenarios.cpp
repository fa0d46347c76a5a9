// The driver's own scenarios, against a stand-in that shows the message boxes named on its command
// line and exits with the last box's result: every icon kind and button set reads right, an answer
// reaches the program, texts survive quoting, and each way a run can go wrong ends bounded with a
// terminated program. Also the recorder, which later scenarios plant in place of other programs.
#include "tables.h"

namespace e2e {
namespace {

Program StandIn(std::vector<std::string> arguments) { return {"tests/e2e/e2e-standin.exe", std::move(arguments)}; }

Dialog Box(const std::string& caption, const std::string& text, const std::string& buttons,
           const std::string& defaultButton, const std::string& icon, unsigned uType) {
  return {caption, text, buttons, defaultButton, icon, uType};
}

}  // namespace

const std::vector<Scenario>& DriverScenarios() {
  static const std::vector<Scenario> rows = {
      {.name = "every_icon_and_button_set",
       .program = StandIn({"00010121", "a", "1", "00010000", "b", "2", "00010010", "c", "3", "00010124", "d", "4",
                           "00000030", "e", "5", "00000040", "f", "6", "00000203", "g", "7"}),
       .answers = {"OK", "OK", "OK", "Yes", "OK", "OK", "No"},
       .dialogs = {Box("a", "1", "OK Cancel", "Cancel", "question", 0x00010121),
                   Box("b", "2", "OK", "OK", "none", 0x00010000),
                   Box("c", "3", "OK", "OK", "error", 0x00010010),
                   Box("d", "4", "Yes No", "No", "question", 0x00010124),
                   Box("e", "5", "OK", "OK", "warning", 0x00000030),
                   Box("f", "6", "OK", "OK", "information", 0x00000040),
                   // MB_YESNOCANCEL | MB_DEFBUTTON3: buttons are listed by id, Cancel (2) first.
                   Box("g", "7", "Cancel Yes No", "Cancel", "none", 0x00000203)},
       .exitCode = "7"},

      {.name = "texts_survive_quoting_and_escaping",
       // The caption ends in a backslash, which the driver's quoting must double before its quote.
       .program = StandIn({"00000000", "say \"hi\" to C:\\dir\\", "line one\\n\\nline two\twith a tab"}),
       .answers = {"OK"},
       .dialogs = {Box("say \"hi\" to C:\\dir\\", "line one\n\nline two\twith a tab", "OK", "OK", "none", 0)},
       .exitCode = "1"},

      {.name = "one_dialog_more_than_answers",
       .program = StandIn({"00000000", "a", "1", "00000001", "b", "2"}),
       .answers = {"OK"},
       .dialogs = {Box("a", "1", "OK", "OK", "none", 0), Box("b", "2", "OK Cancel", "OK", "none", 1)},
       .exitCode = "terminated",
       .failure = "dialog 2 came with no answer left"},

      {.name = "dialog_that_does_not_come",
       .program = StandIn({"--delay-ms", "60000", "00000000", "a", "1"}),
       .answers = {"OK"},
       .exitCode = "terminated",
       .failure = "dialog 1 did not come within 1000 ms",
       .dialogTimeoutMs = 1000},

      {.name = "program_that_does_not_end",
       .program = StandIn({"--hang", "00000000", "a", "1"}),
       .answers = {"OK"},
       .dialogs = {Box("a", "1", "OK", "OK", "none", 0)},
       .exitCode = "terminated",
       .failure = "the program did not end within 1000 ms",
       .exitTimeoutMs = 1000},

      {.name = "answer_naming_a_button_the_box_lacks",
       .program = StandIn({"00000000", "a", "1"}),
       .answers = {"Yes"},
       .dialogs = {Box("a", "1", "OK", "OK", "none", 0)},
       .exitCode = "terminated",
       .failure = "answer Yes names a button dialog 1 does not have"},

      {.name = "program_ending_before_the_last_answer",
       .program = StandIn({"00000000", "a", "1"}),
       .answers = {"OK", "OK"},
       .dialogs = {Box("a", "1", "OK", "OK", "none", 0)},
       .exitCode = "1",
       .failure = "the program ended with 1 answer(s) unused"},

      {.name = "recorder_writes_how_it_was_started",
       .program = {"tests/e2e/e2e-recorder.exe", {"http://www.example.test/a?b=c", "two words"}},
       .afterwards = {Holds("C:\\e2e\\e2e-recorder.log",
                       Text("the recorder's line",
                            "module=C:\\e2e\\e2e-recorder.exe\tcommand=C:\\e2e\\e2e-recorder.exe "
                            "http://www.example.test/a?b=c \"two words\"\tshow=default\targ1=http://www.example.test/a?b=c"
                            "\targ2=two words\n"))}},
  };
  return rows;
}

}  // namespace e2e
