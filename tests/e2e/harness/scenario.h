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

// A fact about the prefix after the run, as one line each for the expected and the actual state.
struct Check {
  std::function<std::string(const Prefix&)> expected;
  std::function<std::string(const Prefix&)> actual;
};
Check Absent(const std::string& windowsPath);
Check Holds(const std::string& windowsPath, const Content& content);
// The folder holds exactly these names (no temporary or partial files beside them).
Check FolderHolds(const std::string& windowsFolder, std::vector<std::string> names);
// A registry value's data as reg query prints it ("0x0" for a REG_DWORD 0).
Check RegistryValue(const std::string& key, const std::string& name, const std::string& data);

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
};

// The transcript a row expects, in the driver's format with each dialog's uType and the result
// MessageBoxA returned (which must be the answer given).
std::string ExpectedTranscript(const Scenario& row);
// The driver's transcript with the uType and result of each MessageBoxA call merged in.
std::string MergedTranscript(const DriverRun& run);

// Plays the row in a fresh prefix and checks the transcript and the files.
void RunScenario(const WineArch& arch, const std::string& templatePrefix, const Scenario& row);

}  // namespace e2e
