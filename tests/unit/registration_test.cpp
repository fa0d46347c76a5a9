// Registration of the written component: probe, hidden registration tool, wait, unload.
#include "registration.h"

#include <gtest/gtest.h>

#include "machine_fixture.h"

namespace {

using namespace machine;

const std::string kPathWithSpaces = "C:\\Windows\\Downloaded Program Files\\Vorlantix.ocx";

ComponentPath PathOf(const std::string &text) {
  ComponentPath path;
  EXPECT_TRUE(path.Assign(text));
  return path;
}

struct RegistrationCase {
  const char *name;
  sim::Bytes library;
  sim::ProcessBehaviour tool;
  bool unloadFails;
  bool registered;
  bool toolStarted;
};

const sim::Bytes kLibrary = sim::FakeLibrary({"DllGetClassObject", "DllRegisterServer"});
const sim::Bytes kNoExport = sim::FakeLibrary({"DllGetClassObject", "DllCanUnloadNow"});
const sim::Bytes kNotALibrary = sim::ToBytes("this is text, not a library");

const std::vector<RegistrationCase> kCases = {
    {"ToolSucceeds", kLibrary, {true, true, 0, 40}, false, true, true},
    {"ToolRunsForSeconds", kLibrary, {true, true, 0, 4321}, false, true, true},
    {"NotALoadableLibrary", kNotALibrary, {}, false, false, false},
    {"NoRegistrationExport", kNoExport, {}, false, false, false},
    {"ToolCannotStart", kLibrary, {false, false, 0, 0}, false, false, true},
    {"ToolGivesNoProcessHandle", kLibrary, {true, false, 0, 10}, false, false, true},
    {"ToolExitsWithOne", kLibrary, {true, true, 1, 30}, false, false, true},
    {"ToolExitsWithTheStillActiveCode", kLibrary, {true, true, STILL_ACTIVE, 500}, false, false, true},
    {"UnloadFails", kLibrary, {true, true, 0, 10}, true, false, true},
};

class Registration : public SimulatedMachine, public ::testing::WithParamInterface<RegistrationCase> {};

TEST_P(Registration, AnswersTrueOnlyForAToolThatRanAndSucceeded) {
  const RegistrationCase &test = GetParam();
  sim::PutFile(kPathWithSpaces, test.library);
  sim::SetProcessBehaviour(test.tool);
  if (test.unloadFails) sim::FailFreeLibrary();

  EXPECT_EQ(RegisterLibrary(PathOf(kPathWithSpaces)), test.registered);
  EXPECT_EQ(sim::Launches().size(), test.toolStarted ? 1u : 0u);
  if (test.unloadFails) sim::Reset();  // the library stays loaded: nothing more to check
}

INSTANTIATE_TEST_SUITE_P(Outcomes, Registration, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

using RegistrationDetails = SimulatedMachine;

TEST_F(RegistrationDetails, StartsTheSystemsToolHiddenWithTheQuotedPath) {
  // Wherever Windows lives: the tool comes from the system folder Windows names, never a fixed path.
  sim::SetSystemDirectory("D:\\WinNT\\System32");
  sim::PutFile(kPathWithSpaces, kLibrary);
  ASSERT_TRUE(RegisterLibrary(PathOf(kPathWithSpaces)));

  ASSERT_EQ(sim::Launches().size(), 1u);
  const sim::Launch &launch = sim::Launches()[0];
  EXPECT_EQ(launch.cbSize, sizeof(SHELLEXECUTEINFOA));
  EXPECT_EQ(launch.fMask, static_cast<ULONG>(SEE_MASK_NOCLOSEPROCESS));
  EXPECT_EQ(launch.hwnd, nullptr);
  EXPECT_EQ(launch.verb, std::nullopt);
  EXPECT_EQ(launch.directory, std::nullopt);
  EXPECT_EQ(launch.nShow, SW_HIDE);
  EXPECT_EQ(launch.file, "D:\\WinNT\\System32\\regsvr32.exe");
  // The path's spaces stay inside one quoted argument.
  EXPECT_EQ(launch.parameters, "/s \"C:\\Windows\\Downloaded Program Files\\Vorlantix.ocx\"");
}

TEST_F(RegistrationDetails, KeepsTheLibraryLoadedUntilTheToolEndsThenReturnsAtOnce) {
  sim::PutFile(kPathWithSpaces, kLibrary);
  sim::SetProcessBehaviour({true, true, 0, 2750});
  ASSERT_TRUE(RegisterLibrary(PathOf(kPathWithSpaces)));

  std::vector<std::string> order;
  DWORD endedAt = 0, freedAt = 0;
  for (const sim::Event &event : sim::Events()) {
    order.push_back(event.what.substr(0, event.what.find(' ')));
    if (event.what.rfind("end ", 0) == 0) endedAt = event.at;
    if (event.what.rfind("free ", 0) == 0) freedAt = event.at;
  }
  EXPECT_EQ(order, (std::vector<std::string>{"load", "start", "end", "free"}));
  EXPECT_EQ(endedAt, 2750u);
  // The installer goes on within one wait period of the tool's end.
  EXPECT_LE(sim::Now() - endedAt, 100u);
  EXPECT_LE(freedAt - endedAt, 100u);
}

TEST_F(RegistrationDetails, FreesTheLibraryWhenTheExportIsMissing) {
  sim::PutFile(kPathWithSpaces, kNoExport);
  EXPECT_FALSE(RegisterLibrary(PathOf(kPathWithSpaces)));
  ASSERT_EQ(sim::Events().size(), 2u);
  EXPECT_EQ(sim::Events()[0].what, "load " + kPathWithSpaces);
  EXPECT_EQ(sim::Events()[1].what, "free " + kPathWithSpaces);
}

TEST_F(RegistrationDetails, RunHiddenAndWaitAnswersTheExitCode) {
  sim::SetProcessBehaviour({true, true, 42, 120});
  const Result<DWORD> run = RunHiddenAndWait("C:\\tool.exe", "-x");
  ASSERT_TRUE(run);
  EXPECT_EQ(run.Value(), 42u);
  EXPECT_EQ(sim::Now(), 120u);
}

TEST_F(RegistrationDetails, TheStageShowsTheFailureDialogOnlyWhenRegistrationFails) {
  sim::PutFile(kPathWithSpaces, kLibrary);
  EXPECT_TRUE(RunRegistrationStage(PathOf(kPathWithSpaces)));
  EXPECT_TRUE(sim::Dialogs().empty());

  sim::SetProcessBehaviour({true, true, 3, 0});
  EXPECT_FALSE(RunRegistrationStage(PathOf(kPathWithSpaces)));
  EXPECT_EQ(ShownDialogs(), std::vector<expected::Dialog>{expected::kRegistrationFailureDialog});
}

}  // namespace
