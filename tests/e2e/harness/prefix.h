// Wine prefixes for the scenarios: one template made per run, and a fresh prefix per scenario laid
// over it, with helpers to arrange the Windows side (folders, files, registry, mounts, a program
// holding a file open) and to run the driver.
#pragma once

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "process.h"

namespace e2e {

// One architecture's Wine and Windows build. The scenario table runs against any of them.
struct WineArch {
  std::string name;                      // names the tests: "x86_64"
  std::string binaries;                  // the Windows preset's build folder
  std::vector<std::string> wine;         // runs a Windows program
  std::vector<std::string> wineserver;   // for -k and -w
  std::vector<std::string> environment;  // added to every Wine command, e.g. WINEARCH
  std::string systemFolder;              // where this architecture's system32 really is ("C:\\windows\\syswow64")
  // reg.exe for setting up and reading the registry, of the architecture's own bitness: it sees the
  // registry view the architecture's programs see. (Wine 8's 64-bit reg.exe with /reg:32 does not:
  // it finds none of the class keys a 32-bit regsvr32 wrote under HKCR.)
  std::vector<std::string> reg;
};

// Thrown by a setup step that cannot be done here (for example a mount without root); the
// scenario is then skipped with this message.
struct Skip : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Makes a template prefix in dir/prefix (headless, no crash dialog, the relay trace limited to
// MessageBoxA; cscript has run once, so its own type library is registered before any scenario
// looks at the registry), shuts its wineserver down, and marks it ready. Throws on failure.
void MakeTemplate(const WineArch& arch, const std::string& dir);
// Ends the template's wineserver and deletes dir.
void RemoveTemplate(const WineArch& arch, const std::string& dir);
// The template prefix in dir, or an error when it was not made (completely).
std::string TemplatePrefixIn(const std::string& dir);

// One relay-trace record of a MessageBoxA call made by the program under test.
struct MessageBoxCall {
  unsigned uType = 0;
  bool returned = false;
  unsigned result = 0;
};

struct DriverRun {
  Outcome outcome;                     // the driver's own: stdout is the transcript
  std::vector<MessageBoxCall> calls;   // in call order
};

std::vector<MessageBoxCall> ParseRelayTrace(const std::string& trace);

class Prefix {
 public:
  // A fresh prefix over the template: an overlay where mounts are allowed, else a copy.
  Prefix(const WineArch& arch, const std::string& templatePrefix);
  Prefix(const Prefix&) = delete;
  Prefix& operator=(const Prefix&) = delete;
  // Lets go of held files, ends the prefix's wineserver, unmounts everything, deletes the folder.
  ~Prefix();

  const WineArch& arch() const { return arch_; }
  const std::string& path() const { return path_; }

  // The host path of a "C:\..." path, matching existing names without regard to case as Wine does.
  std::string HostPath(const std::string& windowsPath) const;

  void MakeFolder(const std::string& windowsPath);
  void WriteFile(const std::string& windowsPath, const std::string& bytes);
  void CopyIn(const std::string& hostFile, const std::string& windowsPath);
  void CopyOut(const std::string& windowsPath, const std::string& hostFile) const;
  bool Exists(const std::string& windowsPath) const;
  bool IsFolder(const std::string& windowsPath) const;
  // Throws when the file is missing.
  std::string ReadFile(const std::string& windowsPath) const;
  // The names in a folder, sorted.
  std::vector<std::string> List(const std::string& windowsPath) const;

  // reg add KEY /v NAME /t TYPE /d DATA /f, in this architecture's view (an empty name is the
  // default value).
  void RegAdd(const std::string& key, const std::string& name, const std::string& type, const std::string& data);
  // reg delete KEY /v NAME /f, or the whole key when name is null. A key or value that is not there
  // is fine.
  void RegDelete(const std::string& key, const char* name);
  // The data of a value as reg query prints it; throws when the value is missing.
  std::string RegQuery(const std::string& key, const std::string& name) const;
  // The same, false when the value is missing; *type gets its type ("REG_DWORD") when asked for.
  bool TryRegQuery(const std::string& key, const std::string& name, std::string* data,
                   std::string* type = nullptr) const;
  // reg query KEY /s without its blank lines: the key, its values and all keys below with theirs;
  // empty when the key is missing.
  std::vector<std::string> RegTree(const std::string& key) const;
  // The names of the keys right below key, sorted.
  std::vector<std::string> RegSubkeys(const std::string& key) const;

  // What a setup step noted for a check to compare with after the run.
  void Remember(const std::string& what, std::vector<std::string> lines) { remembered_[what] = std::move(lines); }
  const std::vector<std::string>& Remembered(const std::string& what) const;

  // Mounts need root: without it these throw Skip.
  void MountTmpfs(const std::string& windowsFolder, unsigned long sizeBytes);
  void MountReadOnly(const std::string& windowsFolder);

  // Another Windows program of ours holds the file open with share mode 0 until the prefix goes.
  void HoldOpen(const std::string& windowsFile);

  // Runs a Windows program under Wine in this prefix.
  Outcome Wine(const std::vector<std::string>& args, int timeoutMs = 60000,
               const std::vector<std::string>& environment = {}) const;

  // Runs the driver against a program with the given answers, under the MessageBoxA relay trace and
  // any further debug channels (",+loaddll"). The run is kept for the checks that read its trace.
  const DriverRun& RunDriver(const std::vector<std::string>& program, const std::vector<std::string>& answers,
                             unsigned dialogTimeoutMs, unsigned exitTimeoutMs,
                             const std::vector<std::string>& environment = {}, const std::string& debug = "");
  const DriverRun& LastRun() const { return lastRun_; }

  // The host path of one of this architecture's built files, e.g. "tests/e2e/e2e-driver.exe".
  std::string Binary(const std::string& relative) const;

 private:
  void Mount(const std::string& target, const char* type, const char* source, unsigned long flags,
             const std::string& options);
  void EndWineserver();
  Outcome Reg(std::vector<std::string> args) const;

  const WineArch& arch_;
  std::string base_;  // the scenario's temporary folder
  std::string path_;  // the prefix inside it
  bool overlay_ = false;
  std::vector<std::string> mounts_;  // made on top of the prefix, in order
  struct Holder;
  std::vector<std::unique_ptr<Holder>> holders_;
  std::map<std::string, std::vector<std::string>> remembered_;
  DriverRun lastRun_;
};

}  // namespace e2e
