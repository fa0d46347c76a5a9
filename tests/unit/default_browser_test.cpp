// The completion stage: which browser opens web pages, the success report, and the home page.
#include "default_browser.h"
#include "install_sequence.h"

#include <gtest/gtest.h>

#include "machine_fixture.h"

namespace {

using namespace machine;

sim::Bytes Terminated(const std::string &text) {
  sim::Bytes bytes = sim::ToBytes(text);
  bytes.push_back(0);
  return bytes;
}

struct BrowserCase {
  const char *name;
  bool keyExists;
  std::optional<sim::Value> command;  // the default value of htmlfile\shell\open\command
  bool writeDenied;
  bool internetExplorer;
};

const std::string kLongCommand = "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" " + std::string(40000, 'x');

const std::vector<BrowserCase> kCases = {
    {"QuotedMixedCasePathWithOptions", true,
     sim::Value{REG_SZ, Terminated("\"C:\\Program Files\\Internet Explorer\\iExplore.exe\" -nohome \"%1\"")},
     false, true},
    {"AnotherBrowser", true, sim::Value{REG_SZ, Terminated("\"C:\\Apps\\Firefly\\firefly.exe\" -osint \"%1\"")},
     false, false},
    {"AnotherBrowserWhosePathHoldsTheLetters", true,
     sim::Value{REG_SZ, Terminated("\"C:\\not-iexplore.exe-fans\\browser.exe\" \"%1\"")}, false, true},
    {"Empty", true, sim::Value{REG_SZ, {}}, false, false},
    {"OnlyANul", true, sim::Value{REG_SZ, {0}}, false, false},
    {"KeyMissing", false, std::nullopt, false, false},
    {"ValueMissing", true, std::nullopt, false, false},
    {"ExpandableText", true, sim::Value{REG_EXPAND_SZ, Terminated("%ProgramFiles%\\Internet Explorer\\IEXPLORE.EXE %1")},
     false, true},
    {"Binary", true, sim::Value{REG_BINARY, sim::ToBytes("IEXPLORE.EXE")}, false, false},
    {"Dword", true, Dword(1), false, false},
    {"TextWithoutATerminatingNul", true, sim::Value{REG_SZ, sim::ToBytes("C:\\IE\\IEXPLORE.EXE")}, false, true},
    {"TextCutShortByANul", true, sim::Value{REG_SZ, sim::ToBytes(std::string("C:\\X\\b.exe\0IEXPLORE.EXE", 24))},
     false, false},
    {"LongerThanAnyCommandLine", true, sim::Value{REG_SZ, Terminated(kLongCommand)}, false, false},
    {"ReadableButNotWritable", true, sim::Value{REG_SZ, Terminated("\"C:\\IE\\IEXPLORE.EXE\" %1")}, true, true},
};

class CompletionStage : public SimulatedMachine, public ::testing::WithParamInterface<BrowserCase> {
 protected:
  void SetUp() override {
    SimulatedMachine::SetUp();
    sim::Reset();
    sim::LoadResourceFile(QUILLMARSH_TEXTS_RES);
  }
};

TEST_P(CompletionStage, WarnsUnlessInternetExplorerOpensPagesAndOpensTheHomePageInIt) {
  const BrowserCase &test = GetParam();
  if (test.keyExists) sim::PutKey(HKEY_CLASSES_ROOT, kHtmlCommandKey);
  if (test.command) sim::PutValue(HKEY_CLASSES_ROOT, kHtmlCommandKey, "", test.command->type, test.command->data);
  if (test.writeDenied) sim::DenyWriteAccess(HKEY_CLASSES_ROOT, kHtmlCommandKey);
  sim::AnswerDialogs({IDOK, IDOK});

  RunCompletionStage();

  if (test.internetExplorer) {
    EXPECT_EQ(ShownDialogs(), std::vector<expected::Dialog>{expected::kSuccessDialog});
    ASSERT_EQ(sim::ShellOpens().size(), 1u);
    const sim::ShellOpen &open = sim::ShellOpens()[0];
    EXPECT_EQ(open.hwnd, nullptr);
    EXPECT_EQ(open.operation, "open");
    EXPECT_EQ(open.file, expected::kDefaultHomePage);
    EXPECT_EQ(open.parameters, std::nullopt);
    EXPECT_EQ(open.directory, std::nullopt);
    EXPECT_EQ(open.show, SW_SHOWNORMAL);
  } else {
    EXPECT_EQ(ShownDialogs(),
              (std::vector<expected::Dialog>{expected::kBrowserWarningDialog, expected::kSuccessDialog}));
    EXPECT_TRUE(sim::ShellOpens().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Commands, CompletionStage, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

using CompletionDetails = SimulatedMachine;

TEST_F(CompletionDetails, TheCommandIsTakenAsStoredUpToItsNulWithoutExpansion) {
  PutText(HKEY_CLASSES_ROOT, kHtmlCommandKey, "", "%SystemRoot%\\browser.exe \"%1\"", REG_EXPAND_SZ);
  EXPECT_EQ(ReadDefaultBrowserCommand().View(), "%SystemRoot%\\browser.exe \"%1\"");
  ASSERT_FALSE(sim::KeyOpens().empty());
  EXPECT_EQ(sim::KeyOpens().back().access, static_cast<REGSAM>(KEY_READ));
}

TEST_F(CompletionDetails, AnEmptyHomePageOpensNothing) {
  sim::SetString(65340, "");
  sim::AnswerDialogs({IDOK});
  RunCompletionStage();
  EXPECT_EQ(ShownDialogs(), std::vector<expected::Dialog>{expected::kSuccessDialog});
  EXPECT_TRUE(sim::ShellOpens().empty());
}

TEST_F(CompletionDetails, ABinaryCommandEndsTheWholeRunInSuccessAfterTheWarning) {
  sim::PutValue(HKEY_CLASSES_ROOT, kHtmlCommandKey, "", REG_BINARY, sim::ToBytes("\x01\x02"));
  sim::PutDword(HKEY_CURRENT_USER, kZoneKey, "1200", 0);
  sim::AnswerDialogs({IDOK, IDOK, IDOK, IDOK});
  EXPECT_EQ(RunInstaller(), 0);
  EXPECT_EQ(ShownDialogs(), (std::vector<expected::Dialog>{expected::kConsentDialog, expected::kNoticeDialog,
                                                           expected::kBrowserWarningDialog,
                                                           expected::kSuccessDialog}));
}

}  // namespace
