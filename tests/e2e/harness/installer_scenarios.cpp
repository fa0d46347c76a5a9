// The installer's scenarios: one row each, from the consent dialog to the exit code and the files
// left behind. Texts are the installer's string table, written out here independently.
#include "tables.h"

namespace e2e {
namespace {

const std::string kCaptionPrefix = "Quillmarsh Installer - ";
const std::string kFolderMissingText =
    "The \"Downloaded Program Files\" folder was not found. \n\nInstallation aborted";
const std::string kCopyFailureHead = "Failed to copy resource data to disk.\n\nInstallation aborted";
const std::string kConsentText =
    "This Program will Install the Quillmarsh web component.\n\nThis software enables you to play games and "
    "receive automatic software updates at Quillmarsh.\n\nContinue?";
const std::string kNoticeText = "Make sure all browser windows are closed\n\npress OK to continue.";
const std::string kBrowserWarningText =
    "Internet Explorer is not your default browser.\n\nThis software may not work with other browsers.\n\nIf you "
    "experience problems, try using Internet explorer.";
const std::string kSuccessText = "Installation successful.";
const std::string kZoneQuestionText =
    "The software you are installing will not run unless you change your Internet Explorer settings.\nWould you "
    "like to change these settings Now?\n\nSelect \"Yes\" to:\nenable \"Run ActiveX controls and plugins\"\nand "
    "enable \"Script ActiveX controls marked safed for scripting\"";
const std::string kInternetZone = "HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\3";

const std::string kWindowsFolder = "C:\\Windows\\Downloaded Program Files\\";
const std::string kWinntFolder = "C:\\winnt\\Downloaded Program Files\\";
const std::string kComponentName = "Vorlantix.ocx";
const std::string kWindowsComponent = kWindowsFolder + kComponentName;
const std::string kWinntComponent = kWinntFolder + kComponentName;

const Program kInstaller = {"QuillmarshSetup.exe", {}};
const Program kInstallerWithoutLibrary = {"tests/e2e/setup-no-library.exe", {}};
// Carries a component larger than the 64 KiB folder of the disk-full row.
const Program kInstallerWithLargeComponent = {"tests/e2e/setup-large-payload.exe", {}};

const Dialog kConsent = {kCaptionPrefix + "Install?", kConsentText, "OK Cancel", "Cancel", "question", 0x00010121};
const Dialog kNotice = {kCaptionPrefix, kNoticeText, "OK", "OK", "none", 0x00010000};
const Dialog kBrowserWarning = {kCaptionPrefix + "Default Browser Not Internet Explorer", kBrowserWarningText, "OK",
                                 "OK", "warning", 0x00000030};
const Dialog kSuccess = {kSuccessText, kSuccessText, "OK", "OK", "information", 0x00000040};
const Dialog kZoneQuestion = {kCaptionPrefix + "Install?", kZoneQuestionText, "Yes No", "No", "question", 0x00010124};
const Dialog kFolderMissing = {kCaptionPrefix + "Error", kFolderMissingText, "OK", "OK", "error", 0x00010010};

// A run that gets past the copy in a fresh prefix: the component registers, the zone policies
// there already allow controls (no question), and the browser is Wine's own, not Internet
// Explorer (the warning, then success, and no page opened).
const std::vector<Dialog> kInstalled = {kConsent, kNotice, kBrowserWarning, kSuccess};
const std::vector<std::string> kInstalledAnswers = {"OK", "OK", "OK", "OK"};

Dialog CopyFailure(const std::string& message) {
  return {kCaptionPrefix + "Error", kCopyFailureHead + "\n\n" + message, "OK", "OK", "error", 0x00010010};
}

const Content kComponent = BuiltFile(kComponentName);

// An earlier component, larger than the embedded one, so that a replacement must also truncate.
const Content kOlderLargerComponent = {"an older, larger component", [](const Prefix& prefix) {
                                         std::string bytes = "MZ older component ";
                                         size_t size = kComponent.bytes(prefix).size() + 70000;
                                         while (bytes.size() < size) {
                                           bytes += static_cast<char>('a' + bytes.size() % 26);
                                         }
                                         return bytes;
                                       }};
// An earlier component small enough to sit in the 64 KiB folder beside part of a new one.
const Content kEarlierSmallComponent = {"an earlier 4 KiB component", [](const Prefix&) {
                                          std::string bytes = "MZ earlier component ";
                                          bytes.resize(4096, '.');
                                          return bytes;
                                        }};

const std::string kCannotCreateComponent = "Cannot create file " + kWindowsComponent;

}  // namespace

const std::vector<Scenario>& InstallerScenarios() {
  static const std::vector<Scenario> rows = {
      {.name = "typical_run",
       .program = kInstaller,
       .setup = {MakeFolder(kWindowsFolder)},
       .answers = kInstalledAnswers,
       .dialogs = kInstalled,
       .afterwards = {Holds(kWindowsComponent, kComponent), FolderHolds(kWindowsFolder, {kComponentName})}},

      // Policy 1200 "3" (disabled) is not acceptable: the question comes, and Yes allows both.
      {.name = "zone_policies_changed_on_yes",
       .program = kInstaller,
       .setup = {MakeFolder(kWindowsFolder), RegAdd(kInternetZone, "1200", "REG_DWORD", "3"),
                 RegAdd(kInternetZone, "1405", "REG_DWORD", "3")},
       .answers = {"OK", "OK", "Yes", "OK", "OK"},
       .dialogs = {kConsent, kNotice, kZoneQuestion, kBrowserWarning, kSuccess},
       .afterwards = {Holds(kWindowsComponent, kComponent), RegistryValue(kInternetZone, "1200", "0x0"),
                      RegistryValue(kInternetZone, "1405", "0x0")}},

      {.name = "cancel_at_consent",
       .program = kInstaller,
       .setup = {MakeFolder(kWindowsFolder)},
       .answers = {"Cancel"},
       .dialogs = {kConsent},
       .afterwards = {FolderHolds(kWindowsFolder, {})}},

      {.name = "neither_folder",
       .program = kInstaller,
       .answers = {"OK", "OK", "OK"},
       .dialogs = {kConsent, kNotice, kFolderMissing},
       .afterwards = {Absent(kWindowsFolder), Absent("C:\\winnt")}},

      {.name = "only_the_winnt_folder",
       .program = kInstaller,
       .setup = {MakeFolder(kWinntFolder)},
       .answers = kInstalledAnswers,
       .dialogs = kInstalled,
       .afterwards = {Holds(kWinntComponent, kComponent), FolderHolds(kWinntFolder, {kComponentName}),
                 Absent(kWindowsFolder)}},

      {.name = "both_folders_the_windows_one_wins",
       .program = kInstaller,
       .setup = {MakeFolder(kWindowsFolder), MakeFolder(kWinntFolder)},
       .answers = kInstalledAnswers,
       .dialogs = kInstalled,
       .afterwards = {Holds(kWindowsComponent, kComponent), FolderHolds(kWindowsFolder, {kComponentName}),
                 FolderHolds(kWinntFolder, {})}},

      {.name = "plain_file_named_like_the_folder",
       .program = kInstaller,
       .setup = {PutFile("C:\\Windows\\Downloaded Program Files", Text("a plain file", "not a folder\n"))},
       .answers = {"OK", "OK", "OK"},
       .dialogs = {kConsent, kNotice, kFolderMissing},
       .afterwards = {Holds("C:\\Windows\\Downloaded Program Files", Text("a plain file", "not a folder\n")),
                 Absent("C:\\winnt")}},

      {.name = "existing_component_replaced",
       .program = kInstaller,
       .setup = {MakeFolder(kWindowsFolder), PutFile(kWindowsComponent, kOlderLargerComponent)},
       .answers = kInstalledAnswers,
       .dialogs = kInstalled,
       .afterwards = {Holds(kWindowsComponent, kComponent), FolderHolds(kWindowsFolder, {kComponentName})}},

      {.name = "component_held_open_by_another_program",
       .program = kInstaller,
       .setup = {MakeFolder(kWindowsFolder), PutFile(kWindowsComponent, kOlderLargerComponent),
                 HoldOpen(kWindowsComponent)},
       .answers = {"OK", "OK", "OK"},
       .dialogs = {kConsent, kNotice, CopyFailure(kCannotCreateComponent)},
       .afterwards = {Holds(kWindowsComponent, kOlderLargerComponent), FolderHolds(kWindowsFolder, {kComponentName})}},

      {.name = "disk_full",
       .program = kInstallerWithLargeComponent,
       .setup = {MountTmpfs(kWindowsFolder, 64 * 1024), PutFile(kWindowsComponent, kEarlierSmallComponent)},
       .answers = {"OK", "OK", "OK"},
       .dialogs = {kConsent, kNotice, CopyFailure("Stream write error")},
       .afterwards = {Holds(kWindowsComponent, kEarlierSmallComponent), FolderHolds(kWindowsFolder, {kComponentName})}},

      {.name = "read_only_folder",
       .program = kInstaller,
       .setup = {MakeFolder(kWindowsFolder), PutFile(kWindowsComponent, kEarlierSmallComponent),
                 MountReadOnly(kWindowsFolder)},
       .answers = {"OK", "OK", "OK"},
       .dialogs = {kConsent, kNotice, CopyFailure(kCannotCreateComponent)},
       .afterwards = {Holds(kWindowsComponent, kEarlierSmallComponent), FolderHolds(kWindowsFolder, {kComponentName})}},

      {.name = "installer_without_the_library_resource",
       .program = kInstallerWithoutLibrary,
       .setup = {MakeFolder(kWindowsFolder)},
       .answers = {"OK", "OK", "OK"},
       .dialogs = {kConsent, kNotice, CopyFailure("Resource LIBRARY_DATA not found")},
       .afterwards = {FolderHolds(kWindowsFolder, {})}},
  };
  return rows;
}

}  // namespace e2e
