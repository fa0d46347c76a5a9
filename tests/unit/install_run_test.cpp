// The whole install run against the simulated machine: the user's answers in; the dialogs, the
// files, what was started and the exit code out.
#include <gtest/gtest.h>

#include "install_sequence.h"
#include "machine_fixture.h"

namespace {

using expected::CopyFailureDialog;
using expected::Dialog;
using namespace machine;

enum class Component { None, Payload, Previous };

struct RunCase {
  const char *name;
  void (*arrange)();
  std::vector<int> answers;
  std::vector<Dialog> dialogs;
  std::string componentPath;  // where the component must be afterwards; empty: nowhere
  Component content;
  bool registered;            // the registration tool was started
  int exitCode;
};

const std::string kLockedMessage = "Cannot create file " + kWindowsComponent;

void Nothing() {}
void NoFolder() { sim::RemoveFolder(kWindowsFolder); }
void OnlyWinnt() {
  NoFolder();
  sim::MakeFolder(kWinntFolder);
}
void BothFolders() { sim::MakeFolder(kWinntFolder); }
void PlainFileNamedLikeTheFolder(bool winnt) {
  NoFolder();
  sim::PutFile("C:\\Windows\\Downloaded Program Files", sim::ToBytes("not a folder"));
  if (winnt) sim::MakeFolder(kWinntFolder);
}
void PreviousInstall() { sim::PutFile(kWindowsComponent, PreviousComponent()); }

const std::vector<RunCase> kRuns = {
    {"TypicalRun", Nothing, {IDOK, IDOK, IDYES},
     {expected::kConsentDialog, expected::kNoticeDialog, expected::kZoneSettingsDialog, expected::kSuccessDialog},
     kWindowsComponent, Component::Payload, true, 0},
    {"CancelAtConsent", Nothing, {IDCANCEL}, {expected::kConsentDialog}, "", Component::None, false, 0},
    {"ConsentBoxThatFailsToShowGoesOn", Nothing, {},
     {expected::kConsentDialog, expected::kNoticeDialog, expected::kZoneSettingsDialog, expected::kSuccessDialog},
     kWindowsComponent, Component::Payload, true, 0},
    {"NeitherFolder", NoFolder, {IDOK, IDOK},
     {expected::kConsentDialog, expected::kNoticeDialog, expected::kFolderMissingDialog}, "", Component::None, false, 0},
    {"OnlyTheWinntFolder", OnlyWinnt, {IDOK, IDOK, IDNO},
     {expected::kConsentDialog, expected::kNoticeDialog, expected::kZoneSettingsDialog, expected::kSuccessDialog},
     kWinntComponent, Component::Payload, true, 0},
    {"BothFoldersTheWindowsOneWins", BothFolders, {IDOK, IDOK, IDNO},
     {expected::kConsentDialog, expected::kNoticeDialog, expected::kZoneSettingsDialog, expected::kSuccessDialog},
     kWindowsComponent, Component::Payload, true, 0},
    {"PlainFileNamedLikeTheFolderCountsAsMissing", [] { PlainFileNamedLikeTheFolder(false); }, {IDOK, IDOK},
     {expected::kConsentDialog, expected::kNoticeDialog, expected::kFolderMissingDialog}, "", Component::None, false, 0},
    {"PlainFileNamedLikeTheFolderFallsBackToWinnt", [] { PlainFileNamedLikeTheFolder(true); }, {IDOK, IDOK, IDNO},
     {expected::kConsentDialog, expected::kNoticeDialog, expected::kZoneSettingsDialog, expected::kSuccessDialog},
     kWinntComponent, Component::Payload, true, 0},
    {"FolderThatIsAlsoAReparsePoint",
     [] { sim::SetFolderAttributes(kWindowsFolder, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT); },
     {IDOK, IDOK, IDNO},
     {expected::kConsentDialog, expected::kNoticeDialog, expected::kZoneSettingsDialog, expected::kSuccessDialog},
     kWindowsComponent, Component::Payload, true, 0},
    {"ExistingComponentReplaced", PreviousInstall, {IDOK, IDOK, IDNO},
     {expected::kConsentDialog, expected::kNoticeDialog, expected::kZoneSettingsDialog, expected::kSuccessDialog},
     kWindowsComponent, Component::Payload, true, 0},
    {"TargetHeldOpenByAnotherProcess", [] { PreviousInstall(), sim::HoldOpen(kWindowsComponent); }, {IDOK, IDOK},
     {expected::kConsentDialog, expected::kNoticeDialog, CopyFailureDialog(kLockedMessage)},
     kWindowsComponent, Component::Previous, false, 0},
    {"FolderReadOnly", [] { PreviousInstall(), sim::MakeFolderReadOnly(kWindowsFolder); }, {IDOK, IDOK},
     {expected::kConsentDialog, expected::kNoticeDialog, CopyFailureDialog(kLockedMessage)},
     kWindowsComponent, Component::Previous, false, 0},
    {"ResourceAbsent", [] { sim::RemoveRcData("LIBRARY_DATA"); }, {IDOK, IDOK},
     {expected::kConsentDialog, expected::kNoticeDialog, CopyFailureDialog("Resource LIBRARY_DATA not found")},
     "", Component::None, false, 0},
    {"DiskFullPartWay", [] { PreviousInstall(), sim::LimitFolderSpace(kWindowsFolder, 100000); }, {IDOK, IDOK},
     {expected::kConsentDialog, expected::kNoticeDialog, CopyFailureDialog("Stream write error")},
     kWindowsComponent, Component::Previous, false, 0},
    {"DiskFullWithoutAnEarlierComponent", [] { sim::LimitFolderSpace(kWindowsFolder, 100000); }, {IDOK, IDOK},
     {expected::kConsentDialog, expected::kNoticeDialog, CopyFailureDialog("Stream write error")},
     "", Component::None, false, 0},
    {"ShortWriteReportedAsSuccess", [] { PreviousInstall(), sim::ShortenNextWrite(); }, {IDOK, IDOK},
     {expected::kConsentDialog, expected::kNoticeDialog, CopyFailureDialog("Stream write error")},
     kWindowsComponent, Component::Previous, false, 0},
    {"FlushFails", [] { PreviousInstall(), sim::FailFlush(); }, {IDOK, IDOK},
     {expected::kConsentDialog, expected::kNoticeDialog, CopyFailureDialog("Stream write error")},
     kWindowsComponent, Component::Previous, false, 0},
    {"RegistrationFailsEndsTheRun",
     [] { sim::SetProcessBehaviour({true, true, 5, 0}); }, {IDOK, IDOK},
     {expected::kConsentDialog, expected::kNoticeDialog, expected::kRegistrationFailureDialog},
     kWindowsComponent, Component::Payload, true, 0},
    {"ZonePoliciesAcceptableNoQuestion",
     [] { sim::PutDword(HKEY_CURRENT_USER, kZoneKey, "1200", 0); }, {IDOK, IDOK},
     {expected::kConsentDialog, expected::kNoticeDialog, expected::kSuccessDialog},
     kWindowsComponent, Component::Payload, true, 0},
    {"AnotherBrowserWarnsBeforeSuccess",
     [] { PutText(HKEY_CLASSES_ROOT, kHtmlCommandKey, "", "\"C:\\Other\\browser.exe\" \"%1\""); },
     {IDOK, IDOK, IDNO, IDOK},
     {expected::kConsentDialog, expected::kNoticeDialog, expected::kZoneSettingsDialog,
      expected::kBrowserWarningDialog, expected::kSuccessDialog},
     kWindowsComponent, Component::Payload, true, 0},
};

class InstallRun : public SimulatedMachine, public ::testing::WithParamInterface<RunCase> {};

TEST_P(InstallRun, ShowsTheDialogsAndLeavesTheFilesExpected) {
  const RunCase &run = GetParam();
  run.arrange();
  sim::AnswerDialogs(run.answers);

  EXPECT_EQ(RunInstaller(), run.exitCode);

  EXPECT_EQ(ShownDialogs(), run.dialogs);
  for (const std::string &folder : {kWindowsFolder, kWinntFolder}) {
    // Nothing but the component itself is ever left in a folder: no staging file.
    const std::vector<std::string> entries = sim::FolderEntries(folder);
    const bool holdsComponent = !run.componentPath.empty() && run.componentPath.rfind(folder, 0) == 0;
    EXPECT_EQ(entries, holdsComponent ? std::vector<std::string>{expected::kComponentFileName}
                                      : std::vector<std::string>{})
        << folder;
  }
  if (!run.componentPath.empty()) {
    EXPECT_EQ(sim::FileBytes(run.componentPath),
              run.content == Component::Payload ? Payload() : PreviousComponent());
  }
  EXPECT_EQ(sim::Launches().size(), run.registered ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, InstallRun, ::testing::ValuesIn(kRuns),
                         [](const auto &info) { return std::string(info.param.name); });

using InstallRunDetails = SimulatedMachine;

TEST_F(InstallRunDetails, TheTypicalRunRegistersSetsTheZoneAndOpensTheHomePage) {
  sim::AnswerDialogs({IDOK, IDOK, IDYES});
  ASSERT_EQ(RunInstaller(), 0);

  ASSERT_EQ(sim::Launches().size(), 1u);
  EXPECT_EQ(sim::Launches()[0].file, "C:\\Windows\\system32\\regsvr32.exe");
  EXPECT_EQ(sim::Launches()[0].parameters, "/s \"" + kWindowsComponent + "\"");
  EXPECT_EQ(sim::GetValue(HKEY_CURRENT_USER, kZoneKey, "1200")->data, Dword(0).data);
  EXPECT_EQ(sim::GetValue(HKEY_CURRENT_USER, kZoneKey, "1405")->data, Dword(0).data);
  ASSERT_EQ(sim::ShellOpens().size(), 1u);
  EXPECT_EQ(sim::ShellOpens()[0].file, expected::kDefaultHomePage);
}

TEST_F(InstallRunDetails, TheResourceIsLookedUpBeforeAnyFileIsCreated) {
  sim::RemoveRcData("LIBRARY_DATA");
  sim::MakeFolderReadOnly(kWindowsFolder);  // creating a file first would report that instead
  sim::AnswerDialogs({IDOK, IDOK});
  EXPECT_EQ(RunInstaller(), 0);
  EXPECT_EQ(ShownDialogs().back(), CopyFailureDialog("Resource LIBRARY_DATA not found"));
}

TEST_F(InstallRunDetails, AnEmptyComponentIsWrittenAsAnEmptyFile) {
  sim::SetRcData("LIBRARY_DATA", {});
  sim::AnswerDialogs({IDOK, IDOK});
  RunInstaller();
  EXPECT_EQ(sim::FileBytes(kWindowsComponent), sim::Bytes());
  // An empty file is no library: registration fails, as it must.
  EXPECT_EQ(ShownDialogs().back(), expected::kRegistrationFailureDialog);
}

TEST_F(InstallRunDetails, AFolderTooLongForAPathIsAFailureNothingHandles) {
  // Only a string table edited beyond Windows' path limit can get here.
  const std::string longFolder = "C:\\" + std::string(300, 'd') + "\\";
  sim::SetString(65358, longFolder);
  sim::MakeFolder(longFolder);
  sim::AnswerDialogs({IDOK, IDOK});

  EXPECT_EQ(RunInstaller(), 1);

  ASSERT_EQ(sim::Dialogs().size(), 3u);
  EXPECT_EQ(sim::Dialogs()[2].caption, "Application Error");
  EXPECT_EQ(sim::Dialogs()[2].type, static_cast<UINT>(MB_OK | MB_ICONERROR));
  EXPECT_NE(sim::Dialogs()[2].text.find("Path too long"), std::string::npos);
  EXPECT_TRUE(sim::FolderEntries(longFolder).empty());
}

}  // namespace
