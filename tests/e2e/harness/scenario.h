// A scenario is one row of a table: how the prefix is set up, which program runs, the answers the
// driver gives, the full transcript expected (every dialog with its uType, the exit code) and the
// files and registry values expected afterwards. RunScenario() plays a row against one architecture.
//
// To add a row: append it to the table with the dialogs and checks below. To add a kind of setup:
// write a function returning a Step whose run() uses the Prefix helpers (prefix.h).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "prefix.h"

namespace e2e {

// A message box as the transcript shows it. Buttons and default are names as in the transcript
// ("OK Cancel", "Cancel"); icon is none, error, question, warning or information.
struct Dialog {
  std::string caption;
  std::string text;
  std::string buttons;
  std::string defaultButton;
  std::string icon;
  unsigned uType = 0;
};

// Bytes a setup step writes or a check compares with, named for the failure report; computed
// when the row runs, because some come from the architecture's build folder.
struct Content {
  std::string label;
  std::function<std::string(const Prefix&)> bytes;
};
Content BuiltFile(const std::string& relative);  // a file of the architecture's build folder
Content Text(const std::string& label, const std::string& bytes);

struct Step {
  std::string label;
  std::function<void(Prefix&)> run;
};
Step MakeFolder(const std::string& windowsPath);
Step PutFile(const std::string& windowsPath, const Content& content);
Step MountTmpfs(const std::string& windowsFolder, unsigned long sizeBytes);
Step MountReadOnly(const std::string& windowsFolder);
Step HoldOpen(const std::string& windowsFile);
Step RegAdd(const std::string& key, const std::string& name, const std::string& type, const std::string& data);
Step RegDeleteKey(const std::string& key);
// A file in the architecture's own system folder (system32, or syswow64 for i686), where the
// system's tools live, e.g. in place of regsvr32.exe.
Step PutInSystemFolder(const std::string& fileName, const Content& content);
// Notes the names of the keys below key, for NewSubkeys() to compare with after the run.
Step RememberSubkeys(const std::string& key);

// A fact about the prefix after the run, as one line each for the expected and the actual state.
struct Check {
  std::function<std::string(const Prefix&)> expected;
  std::function<std::string(const Prefix&)> actual;
};
Check Absent(const std::string& windowsPath);
Check Holds(const std::string& windowsPath, const Content& content);
// The folder holds exactly these names (no temporary or partial files beside them).
Check FolderHolds(const std::string& windowsFolder, std::vector<std::string> names);
// A registry value's type and data as reg query prints them ("REG_DWORD 0x0"), or "(missing)".
Check RegistryValue(const std::string& key, const std::string& name, const std::string& typeAndData);
// A key with everything below it, exactly as reg query /s lists it (blank lines left out); no
// lines when the key must be missing.
Check RegistryTree(const std::string& key, std::vector<std::string> lines);
// The keys below key that the run added, compared with what RememberSubkeys() noted.
Check NewSubkeys(const std::string& key, std::vector<std::string> names);
// A script run by cscript in the prefix after the run ends with this exit code.
Check ScriptExits(const std::string& windowsScript, const std::vector<std::string>& arguments, int exitCode);
// A file another program writes on its own time (one the shell started): waited for up to waitMs.
Check HoldsWithin(const std::string& windowsPath, const Content& content, int waitMs);
// A file nobody must write, still absent after waiting waitMs for a late writer.
Check StaysAbsent(const std::string& windowsPath, int waitMs);
// Where the program's main thread loaded a library from during the run (Wine's +loaddll trace, so
// the row must ask for it in its debug channels): "<path> (native|builtin)" lines in load order.
Check LoadedBy(const std::string& windowsProgram, const std::string& library, std::vector<std::string> loads);

// The program run: a file of the architecture's build folder, copied into the prefix (at
// C:\e2e\<its name>) and started there with the arguments.
struct Program {
  std::string binary;
  std::vector<std::string> arguments;
};

struct Scenario {
  std::string name;  // the test's name: letters, digits and underscores
  Program program;
  std::vector<Step> setup;
  std::vector<std::string> answers;
  std::vector<Dialog> dialogs;
  std::string exitCode = "0";  // as the transcript says it: a number or "terminated"
  std::string failure;         // the driver's failure reason, when the row expects one
  std::vector<Check> afterwards;
  unsigned dialogTimeoutMs = 15000;
  unsigned exitTimeoutMs = 30000;
  std::vector<std::string> environment;  // for the driver and what it starts: "NAME=value"
  std::string debug;                     // Wine debug channels added to the run's, e.g. ",+loaddll"
};

// The transcript a row expects, in the driver's format with each dialog's uType and the result
// MessageBoxA returned (which must be the answer given).
std::string ExpectedTranscript(const Scenario& row);
// The driver's transcript with the uType and result of each MessageBoxA call merged in.
std::string MergedTranscript(const DriverRun& run);

// Plays the row in a fresh prefix and checks the transcript and the files.
void RunScenario(const WineArch& arch, const std::string& templatePrefix, const Scenario& row);

}  // namespace e2e
