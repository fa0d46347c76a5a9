// The installer's scenarios: one row each, from the consent dialog to the exit code and the files,
// registry and started programs it leaves behind. Texts are the installer's string table, written
// out here independently, as are the component's registry entries.
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
const std::string kRegistrationFailureText = "Failed to register Library.\n\nInstallation aborted";
const std::string kInternetZone = "HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\3";
const std::string kHtmlOpenCommand = "HKCR\\htmlfile\\shell\\open\\command";
const std::string kHomePage = "https://www.quillmarsh.example/";

const std::string kWindowsFolder = "C:\\Windows\\Downloaded Program Files\\";
const std::string kWinntFolder = "C:\\winnt\\Downloaded Program Files\\";
const std::string kComponentName = "Vorlantix.ocx";
const std::string kWindowsComponent = kWindowsFolder + kComponentName;
const std::string kWinntComponent = kWinntFolder + kComponentName;

const Program kInstaller = {"QuillmarshSetup.exe", {}};
const Program kInstallerWithoutLibrary = {"tests/e2e/setup-no-library.exe", {}};
// Carries a component larger than the 64 KiB folder of the disk-full row.
const Program kInstallerWithLargeComponent = {"tests/e2e/setup-large-payload.exe", {}};
// Carry components that cannot be registered.
const Program kInstallerWithNonLibrary = {"tests/e2e/setup-not-a-library.exe", {}};
const Program kInstallerWithFailingRegistration = {"tests/e2e/setup-register-fails.exe", {}};
const Program kInstallerWithoutRegisterExport = {"tests/e2e/setup-no-register-export.exe", {}};

const Dialog kConsent = {kCaptionPrefix + "Install?", kConsentText, "OK Cancel", "Cancel", "question", 0x00010121};
const Dialog kNotice = {kCaptionPrefix, kNoticeText, "OK", "OK", "none", 0x00010000};
const Dialog kBrowserWarning = {kCaptionPrefix + "Default Browser Not Internet Explorer", kBrowserWarningText, "OK",
                                 "OK", "warning", 0x00000030};
const Dialog kSuccess = {kSuccessText, kSuccessText, "OK", "OK", "information", 0x00000040};
const Dialog kZoneQuestion = {kCaptionPrefix + "Install?", kZoneQuestionText, "Yes No", "No", "question", 0x00010124};
const Dialog kFolderMissing = {kCaptionPrefix + "Error", kFolderMissingText, "OK", "OK", "error", 0x00010010};
const Dialog kRegistrationFailure = {kCaptionPrefix + "Error", kRegistrationFailureText, "OK", "OK", "error",
                                     0x00010010};

// A run that gets past the copy in a fresh prefix: the component registers, the zone policies
// there already allow controls (no question), and the browser is Wine's own, not Internet
// Explorer (the warning, then success, and no page opened).
const std::vector<Dialog> kInstalled = {kConsent, kNotice, kBrowserWarning, kSuccess};
const std::vector<std::string> kInstalledAnswers = {"OK", "OK", "OK", "OK"};
// A run that stops at the registration.
const std::vector<Dialog> kNotRegistered = {kConsent, kNotice, kRegistrationFailure};

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

// The component's COM registration, as its DllRegisterServer writes it (all under HKCR, in the
// registry view of the installer's bitness, where that bitness's regsvr32 writes).
const std::string kClsid = "{286AEB9B-63D0-4D4A-8264-E3D9C77BE4A7}";
const std::string kClassKey = "HKCR\\CLSID\\" + kClsid;
const std::string kProgIdKey = "HKCR\\Quillmarsh.Vorlantix.1";
const std::string kIndependentProgIdKey = "HKCR\\Quillmarsh.Vorlantix";
const std::string kControlName = "Quillmarsh Vorlantix Control";
const std::string kControlCheck = "C:\\e2e\\control_check.js";

std::string RegSz(const std::string& name, const std::string& data) { return "    " + name + "    REG_SZ    " + data; }

std::vector<std::string> ClassKeyListing(const std::string& componentPath) {
  const std::string key = "HKEY_CLASSES_ROOT\\CLSID\\" + kClsid;
  return {key,
          RegSz("(Default)", kControlName),
          key + "\\Control",
          key + "\\Implemented Categories",
          key + "\\Implemented Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}",
          key + "\\Implemented Categories\\{7DD95802-9882-11CF-9FA9-00AA006C42C4}",
          key + "\\InprocServer32",
          RegSz("(Default)", componentPath),
          RegSz("ThreadingModel", "Apartment"),
          key + "\\ProgID",
          RegSz("(Default)", "Quillmarsh.Vorlantix.1"),
          key + "\\VersionIndependentProgID",
          RegSz("(Default)", "Quillmarsh.Vorlantix")};
}

// The script that drives the control as a page would; put in place before the run.
const Step kPutControlCheck = PutFile(kControlCheck, BuiltFile("tests/fixtures/control_check.js"));

// The component at componentPath is registered, every entry exactly, and a script creates the
// control by its ProgIDs and calls it.
std::vector<Check> Registered(const std::string& componentPath) {
  return {RegistryTree(kClassKey, ClassKeyListing(componentPath)),
          RegistryTree(kProgIdKey, {"HKEY_CLASSES_ROOT\\Quillmarsh.Vorlantix.1", RegSz("(Default)", kControlName),
                                    "HKEY_CLASSES_ROOT\\Quillmarsh.Vorlantix.1\\CLSID", RegSz("(Default)", kClsid)}),
          RegistryTree(kIndependentProgIdKey,
                       {"HKEY_CLASSES_ROOT\\Quillmarsh.Vorlantix", RegSz("(Default)", kControlName),
                        "HKEY_CLASSES_ROOT\\Quillmarsh.Vorlantix\\CLSID", RegSz("(Default)", kClsid),
                        "HKEY_CLASSES_ROOT\\Quillmarsh.Vorlantix\\CurVer",
                        RegSz("(Default)", "Quillmarsh.Vorlantix.1")}),
          ScriptExits(kControlCheck, {"1.0.0.0"}, 0)};
}

// Nothing of the component is registered; the script's first check (creating it) fails.
std::vector<Check> NotRegistered() {
  return {RegistryTree(kClassKey, {}), RegistryTree(kProgIdKey, {}), RegistryTree(kIndependentProgIdKey, {}),
          ScriptExits(kControlCheck, {"1.0.0.0"}, 1)};
}

std::vector<Check> Join(std::vector<Check> first, const std::vector<Check>& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

// The keys of HKCR a registration could add to, noted before the run for NewSubkeys (a type
// library would also bring interfaces, but it shows under TypeLib first).
const std::vector<std::string> kRegistrationKeys = {"HKCR", "HKCR\\CLSID", "HKCR\\TypeLib"};

// The recorder stands in for the browser behind the http and https open verbs (the shell reads
// HKCR for these, not the user's classes) and logs beside itself.
const std::string kRecorder = "C:\\e2e\\e2e-recorder.exe";
const std::string kRecorderLog = "C:\\e2e\\e2e-recorder.log";
const std::vector<Step> kRecorderAsBrowser = {
    PutFile(kRecorder, BuiltFile("tests/e2e/e2e-recorder.exe")),
    RegAdd("HKCR\\http\\shell\\open\\command", "", "REG_SZ", "\"" + kRecorder + "\" \"%1\""),
    RegAdd("HKCR\\https\\shell\\open\\command", "", "REG_SZ", "\"" + kRecorder + "\" \"%1\"")};
// The shell starts the browser on its own time: its record is waited for, and so is its absence.
constexpr int kBrowserRecordWaitMs = 10000;
constexpr int kNoBrowserWaitMs = 2000;
const Check kHomePageOpened = HoldsWithin(
    kRecorderLog,
    Text("the home page handed to the browser",
         "module=" + kRecorder + "\tcommand=\"" + kRecorder + "\" \"" + kHomePage + "\"\tshow=1\targ1=" + kHomePage +
             "\n"),
    kBrowserRecordWaitMs);
const Check kNoPageOpened = StaysAbsent(kRecorderLog, kNoBrowserWaitMs);

std::vector<Step> Steps(std::vector<Step> first, const std::vector<Step>& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

// The regsvr32 the installer starts, replaced by the recorder: how it was started, and a tool that
// takes its time, so that the record exists only if the installer waited for the tool's end.
constexpr const char* kToolRecord = "C:\\e2e\\regsvr32.log";
const Content kToolStartedHiddenWithQuotedPath = {
    "the recorder's line for regsvr32", [](const Prefix& prefix) {
      // The tool is started by the system folder's name; a 32-bit tool is really in syswow64,
      // which is the module name it sees.
      return "module=" + prefix.arch().systemFolder +
             "\\regsvr32.exe\tcommand=\"C:\\windows\\system32\\regsvr32.exe\" /s \"" + kWindowsComponent +
             "\"\tshow=0\targ1=/s\targ2=" + kWindowsComponent + "\n";
    }};

// One zone-policy row: the two values as they are before the run, the answer to the question when
// it comes, and the two values expected afterwards, as reg query prints type and data.
struct Policy {
  const char* type;  // nullptr: the value is not there
  const char* data;
};

Scenario ZoneRow(const std::string& name, Policy run, Policy scripting, const char* answer,
                 const std::string& runAfter, const std::string& scriptingAfter) {
  Scenario row = {.name = name, .program = kInstaller, .setup = {MakeFolder(kWindowsFolder)}};
  const std::pair<const char*, Policy> policies[] = {{"1200", run}, {"1405", scripting}};
  for (const auto& [value, policy] : policies) row.setup.push_back(RegAdd(kInternetZone, value, policy.type, policy.data));
  row.answers = {"OK", "OK"};
  row.dialogs = {kConsent, kNotice};
  if (answer != nullptr) {
    row.answers.push_back(answer);
    row.dialogs.push_back(kZoneQuestion);
  }
  row.answers.insert(row.answers.end(), {"OK", "OK"});
  row.dialogs.insert(row.dialogs.end(), {kBrowserWarning, kSuccess});
  row.afterwards = {Holds(kWindowsComponent, kComponent), RegistryValue(kInternetZone, "1200", runAfter),
                    RegistryValue(kInternetZone, "1405", scriptingAfter)};
  return row;
}

constexpr Policy kAllow = {"REG_DWORD", "0"};
constexpr Policy kAsk = {"REG_DWORD", "1"};
constexpr Policy kDisable = {"REG_DWORD", "3"};

}  // namespace

const std::vector<Scenario>& InstallerScenarios() {
  static const std::vector<Scenario> rows = {
      // The component is written, registered by regsvr32 (and nothing else is), and usable from a
      // script; the fresh prefix's zone policies already allow controls.
      {.name = "typical_run",
       .program = kInstaller,
       .setup = {MakeFolder(kWindowsFolder), kPutControlCheck, RememberSubkeys(kRegistrationKeys[0]),
                 RememberSubkeys(kRegistrationKeys[1]), RememberSubkeys(kRegistrationKeys[2])},
       .answers = kInstalledAnswers,
       .dialogs = kInstalled,
       .afterwards = Join({Holds(kWindowsComponent, kComponent), FolderHolds(kWindowsFolder, {kComponentName}),
                           NewSubkeys("HKCR", {"Quillmarsh.Vorlantix", "Quillmarsh.Vorlantix.1"}),
                           NewSubkeys("HKCR\\CLSID", {kClsid}), NewSubkeys("HKCR\\TypeLib", {}),
                           RegistryValue(kInternetZone, "1200", "REG_DWORD 0x0"),
                           RegistryValue(kInternetZone, "1405", "REG_DWORD 0x0")},
                          Registered(kWindowsComponent))},

      // Zone policies: no question while both are 0 or 1; the question when either is anything
      // else (another number, another type, missing); Yes makes both REG_DWORD 0, No writes nothing.
      ZoneRow("zone_both_allowed", kAllow, kAllow, nullptr, "REG_DWORD 0x0", "REG_DWORD 0x0"),
      ZoneRow("zone_both_ask", kAsk, kAsk, nullptr, "REG_DWORD 0x1", "REG_DWORD 0x1"),
      ZoneRow("zone_allow_and_ask", kAllow, kAsk, nullptr, "REG_DWORD 0x0", "REG_DWORD 0x1"),
      ZoneRow("zone_run_disabled_yes", kDisable, kDisable, "Yes", "REG_DWORD 0x0", "REG_DWORD 0x0"),
      ZoneRow("zone_run_disabled_no", kDisable, kAsk, "No", "REG_DWORD 0x3", "REG_DWORD 0x1"),
      // "1405" alone is not acceptable; Yes also rewrites the acceptable "1200".
      ZoneRow("zone_scripting_disabled_yes", kAsk, kDisable, "Yes", "REG_DWORD 0x0", "REG_DWORD 0x0"),
      // A text "0" is not a policy of 0.
      ZoneRow("zone_run_as_text_no", {"REG_SZ", "0"}, kAllow, "No", "REG_SZ 0", "REG_DWORD 0x0"),
      ZoneRow("zone_scripting_as_text_yes", kAllow, {"REG_SZ", "1"}, "Yes", "REG_DWORD 0x0", "REG_DWORD 0x0"),
      {.name = "zone_key_missing_yes",
       .program = kInstaller,
       .setup = {MakeFolder(kWindowsFolder), RegDeleteKey(kInternetZone)},
       .answers = {"OK", "OK", "Yes", "OK", "OK"},
       .dialogs = {kConsent, kNotice, kZoneQuestion, kBrowserWarning, kSuccess},
       .afterwards = {RegistryValue(kInternetZone, "1200", "REG_DWORD 0x0"),
                      RegistryValue(kInternetZone, "1405", "REG_DWORD 0x0")}},

      // The complete typical run: Internet Explorer opens web pages (a quoted path in lower case,
      // with options), policy "1200" is 3; consent, notice, the zone question answered Yes,
      // success, and the home page handed to the browser through the shell.
      {.name = "internet_explorer_typical_run",
       .program = kInstaller,
       .setup = Steps({MakeFolder(kWindowsFolder), kPutControlCheck,
                       RegAdd(kHtmlOpenCommand, "", "REG_SZ",
                              "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" -nohome -noframemerging"),
                       RegAdd(kInternetZone, "1200", "REG_DWORD", "3")},
                      kRecorderAsBrowser),
       .answers = {"OK", "OK", "Yes", "OK"},
       .dialogs = {kConsent, kNotice, kZoneQuestion, kSuccess},
       .afterwards = Join({Holds(kWindowsComponent, kComponent), RegistryValue(kInternetZone, "1200", "REG_DWORD 0x0"),
                           RegistryValue(kInternetZone, "1405", "REG_DWORD 0x0"), kHomePageOpened},
                          Registered(kWindowsComponent))},

      // Wine's own browser: the warning, success, and no page.
      {.name = "another_browser_no_page",
       .program = kInstaller,
       .setup = Steps({MakeFolder(kWindowsFolder)}, kRecorderAsBrowser),
       .answers = kInstalledAnswers,
       .dialogs = kInstalled,
       .afterwards = {RegistryValue(kHtmlOpenCommand, "", "REG_SZ \"C:\\windows\\system32\\winebrowser.exe\" \"%1\""),
                      kNoPageOpened}},

      // A command that is not text cannot be read, even when its bytes spell "IEXPLORE.EXE".
      {.name = "browser_command_not_text",
       .program = kInstaller,
       .setup = Steps({MakeFolder(kWindowsFolder), RegAdd(kHtmlOpenCommand, "", "REG_BINARY", "494558504C4F52452E45584500")},
                      kRecorderAsBrowser),
       .answers = kInstalledAnswers,
       .dialogs = kInstalled,
       .afterwards = {Holds(kWindowsComponent, kComponent), kNoPageOpened}},

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

      // The registration names the file where it was written.
      {.name = "only_the_winnt_folder",
       .program = kInstaller,
       .setup = {MakeFolder(kWinntFolder)},
       .answers = kInstalledAnswers,
       .dialogs = kInstalled,
       .afterwards = {Holds(kWinntComponent, kComponent), FolderHolds(kWinntFolder, {kComponentName}),
                      Absent(kWindowsFolder),
                      RegistryValue(kClassKey + "\\InprocServer32", "", "REG_SZ " + kWinntComponent)}},

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

      // Components that cannot be registered: the file is written, the registration-failure
      // dialog ends the run, and nothing of the control is registered.
      {.name = "component_not_a_library",
       .program = kInstallerWithNonLibrary,
       .setup = {MakeFolder(kWindowsFolder), kPutControlCheck},
       .answers = {"OK", "OK", "OK"},
       .dialogs = kNotRegistered,
       .afterwards = Join({Holds(kWindowsComponent, BuiltFile("tests/fixtures/not_a_library.bin"))}, NotRegistered())},

      {.name = "component_registration_fails",
       .program = kInstallerWithFailingRegistration,
       .setup = {MakeFolder(kWindowsFolder), kPutControlCheck},
       .answers = {"OK", "OK", "OK"},
       .dialogs = kNotRegistered,
       .afterwards = Join({Holds(kWindowsComponent, BuiltFile("tests/fixtures/register_fails.dll"))}, NotRegistered())},

      {.name = "component_without_register_export",
       .program = kInstallerWithoutRegisterExport,
       .setup = {MakeFolder(kWindowsFolder), kPutControlCheck},
       .answers = {"OK", "OK", "OK"},
       .dialogs = kNotRegistered,
       .afterwards =
           Join({Holds(kWindowsComponent, BuiltFile("tests/fixtures/no_register_export.dll"))}, NotRegistered())},

      // A regsvr32.exe beside the installer (its download folder, and its current folder, as when
      // opened from there) is not the one started. Wine's ShellExecuteEx looks a bare name up on
      // PATH only, so here this catches a tool path made from the installer's own folder, not a
      // bare "regsvr32", which Windows would look for in the current folder first.
      {.name = "regsvr32_beside_the_installer_not_run",
       .program = kInstaller,
       .setup = {MakeFolder(kWindowsFolder), kPutControlCheck,
                 PutFile("C:\\e2e\\regsvr32.exe", BuiltFile("tests/e2e/e2e-recorder.exe"))},
       .answers = kInstalledAnswers,
       .dialogs = kInstalled,
       .afterwards = Join({Absent(kRecorderLog)}, Registered(kWindowsComponent))},

      // The system's regsvr32, replaced by the recorder: started hidden with /s and the quoted path,
      // waited for (the recorder takes 2 s before it writes), and it alone registers: with the
      // recorder in its place nothing is registered, and a tool that exits 0 counts as success.
      {.name = "system_regsvr32_started_hidden_and_waited_for",
       .program = kInstaller,
       .setup = {MakeFolder(kWindowsFolder), kPutControlCheck,
                 PutInSystemFolder("regsvr32.exe", BuiltFile("tests/e2e/e2e-recorder.exe"))},
       .answers = kInstalledAnswers,
       .dialogs = kInstalled,
       .afterwards = Join({Holds(kToolRecord, kToolStartedHiddenWithQuotedPath)}, NotRegistered()),
       // 64-bit Wine prefers its builtin for a program in system32 unless told otherwise.
       .environment = {std::string("QUILLMARSH_E2E_RECORD=") + kToolRecord, "QUILLMARSH_E2E_RECORDER_DELAY_MS=2000",
                       "WINEDLLOVERRIDES=regsvr32.exe=n,b"}},

      // A library named like one loaded on demand during the run (user32 loads uxtheme.dll for the
      // first message box), planted beside the installer and preferred over the system's: the
      // installer still loads the system's, because it limits the search to the system folder.
      {.name = "planted_library_not_loaded",
       .program = kInstaller,
       .setup = {MakeFolder(kWindowsFolder), PutFile("C:\\e2e\\uxtheme.dll", BuiltFile("tests/e2e/planted/uxtheme.dll"))},
       .answers = kInstalledAnswers,
       .dialogs = kInstalled,
       .afterwards = {Absent("C:\\e2e\\planted-dll-loaded.txt"),
                      LoadedBy("C:\\e2e\\QuillmarshSetup.exe", "uxtheme.dll",
                               {"C:\\windows\\system32\\uxtheme.dll (builtin)"}),
                      Holds(kWindowsComponent, kComponent)},
       .environment = {"WINEDLLOVERRIDES=uxtheme=n,b"},
       .debug = ",+loaddll"},

      // The same setting catches a program that does not limit the search.
      {.name = "planted_library_loaded_without_the_limit",
       .program = {"tests/e2e/e2e-standin.exe", {"--load-library", "uxtheme.dll"}},
       .setup = {PutFile("C:\\e2e\\uxtheme.dll", BuiltFile("tests/e2e/planted/uxtheme.dll"))},
       .afterwards = {Holds("C:\\e2e\\planted-dll-loaded.txt", Text("the stand-in's name", "C:\\e2e\\e2e-standin.exe\n")),
                      LoadedBy("C:\\e2e\\e2e-standin.exe", "uxtheme.dll", {"C:\\e2e\\uxtheme.dll (native)"})},
       .environment = {"WINEDLLOVERRIDES=uxtheme=n,b"},
       .debug = ",+loaddll"},
  };
  return rows;
}

}  // namespace e2e
