// The simulated Windows machine behind the host build. Tests describe the machine through this
// interface (folders, files, registry, the installer's resources, how started processes behave, the
// user's answers) and read back what the installer did. The installer itself sees the machine only
// through the Windows functions declared in include/windows.h and include/shellapi.h.
#pragma once

#include <shellapi.h>
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

using Bytes = std::vector<std::uint8_t>;
Bytes ToBytes(const std::string &text);

// Back to an empty machine: no files, keys or resources, no answers, the clock at zero.
void Reset();

// --- The program's own resources ---------------------------------------------------------------
// Takes the string table and RCDATA entries of a compiled resource file (.res) as the program's own.
void LoadResourceFile(const std::string &resPath);
void SetString(UINT id, const std::string &text);
void SetRcData(const std::string &name, const Bytes &bytes);
void RemoveRcData(const std::string &name);

// --- Message boxes ------------------------------------------------------------------------------
struct Dialog {
  HWND owner;
  std::string caption;
  std::string text;
  UINT type;
};
// Answers for the coming message boxes, in order. A box with no answer left returns 0, as a
// MessageBoxA that failed to show, and is recorded like any other.
void AnswerDialogs(const std::vector<int> &answers);
const std::vector<Dialog> &Dialogs();

// --- Files --------------------------------------------------------------------------------------
// Paths compare without regard to case, as on Windows. A folder's parent need not exist.
void MakeFolder(const std::string &path);
void RemoveFolder(const std::string &path);
void PutFile(const std::string &path, const Bytes &bytes);
std::optional<Bytes> FileBytes(const std::string &path);
std::vector<std::string> FolderEntries(const std::string &path);  // names, sorted
void SetFolderAttributes(const std::string &path, DWORD attributes);
void MakeFolderReadOnly(const std::string &path);
// Another process holds the file open without sharing: opening, replacing or deleting it fails.
void HoldOpen(const std::string &path);
// Bytes the folder's volume can still take; writes past that fail with ERROR_DISK_FULL.
void LimitFolderSpace(const std::string &path, std::size_t bytes);
// The next WriteFile writes fewer bytes than asked and still reports success.
void ShortenNextWrite();
void FailFlush();
void SetSystemDirectory(const std::string &path);

// Handles of every kind (files, keys, processes, libraries) the program has not closed.
std::size_t OpenHandleCount();

// --- Libraries ----------------------------------------------------------------------------------
// A file holding these bytes loads with LoadLibraryA and exports the given names; a file of any
// other content fails to load with ERROR_BAD_EXE_FORMAT.
Bytes FakeLibrary(const std::vector<std::string> &exports);
void FailFreeLibrary();
std::vector<std::string> LoadedLibraries();  // paths, in load order

// Whether kernel32 offers SetDefaultDllDirectories (older Windows does not).
void OfferSetDefaultDllDirectories(bool offered);
DWORD DefaultDllDirectories();                // flags last set, 0 when never set
std::optional<std::string> DllDirectory();    // last SetDllDirectoryA, if any

// --- Processes ----------------------------------------------------------------------------------
struct ProcessBehaviour {
  bool starts = true;         // ShellExecuteExA succeeds
  bool givesHandle = true;    // and fills in hProcess
  DWORD exitCode = 0;
  DWORD runMillis = 0;        // how long the process runs, on the simulated clock
};
// How the processes started from now on behave.
void SetProcessBehaviour(const ProcessBehaviour &behaviour);

struct Launch {
  DWORD cbSize;
  ULONG fMask;
  HWND hwnd;
  std::optional<std::string> verb, file, parameters, directory;
  int nShow;
};
const std::vector<Launch> &Launches();

struct ShellOpen {
  HWND hwnd;
  std::optional<std::string> operation, file, parameters, directory;
  INT show;
};
const std::vector<ShellOpen> &ShellOpens();

// --- Time and the record of events -------------------------------------------------------------
// Simulated milliseconds: Sleep and waits advance the clock instead of blocking.
DWORD Now();
struct Event {
  DWORD at;
  std::string what;  // "load <path>", "free <path>", "start <file>", "end <file>", "wait"
};
const std::vector<Event> &Events();

// --- Registry -----------------------------------------------------------------------------------
struct Value {
  DWORD type;
  Bytes data;
};
void PutKey(HKEY root, const std::string &path);
void PutValue(HKEY root, const std::string &path, const std::string &name, DWORD type,
              const Bytes &data);
void PutDword(HKEY root, const std::string &path, const std::string &name, DWORD value);
bool KeyExists(HKEY root, const std::string &path);
std::optional<Value> GetValue(HKEY root, const std::string &path, const std::string &name);
// The key may be read but not written: opening it with write rights fails with access denied.
void DenyWriteAccess(HKEY root, const std::string &path);
// RegSetValueExA of this value name fails.
void FailSetValue(const std::string &name);

struct KeyOpen {
  HKEY root;
  std::string path;
  REGSAM access;
  bool created;  // through RegCreateKeyExA
};
const std::vector<KeyOpen> &KeyOpens();
const std::vector<std::string> &QueriedValues();  // value names, in the order they were read

}  // namespace sim
