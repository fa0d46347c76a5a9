// The state of the simulated machine, shared by the files that play each Windows library.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim.h"

namespace sim::detail {

// Windows compares paths and registry names without regard to case; keys hold the lowered form.
std::string Lower(std::string text);
// A path as a lookup key: lowered, '/' taken as '\', trailing separators dropped.
std::string PathKey(const std::string &path);
std::string ParentKey(const std::string &pathKey);
std::string NameOf(const std::string &path);

struct Folder {
  DWORD attributes = FILE_ATTRIBUTE_DIRECTORY;
  bool readOnly = false;
  std::optional<std::size_t> spaceLeft;
};

struct File {
  std::string displayPath;
  Bytes bytes;
  bool heldByOtherProcess = false;
};

struct RegistryKey {
  std::map<std::string, Value> values;  // by lowered name
  bool writeDenied = false;
};

struct Process {
  std::string file;
  DWORD endsAt;
  DWORD exitCode;
  bool endRecorded = false;
};

struct Library {
  std::string path;
  std::vector<std::string> exports;
};

enum class HandleKind { File, Key, Process, Library };

struct HandleObject {
  HandleKind kind;
  std::string path;         // file path key, registry key id, library path
  DWORD access = 0;
  std::size_t process = 0;  // index into Machine::processes
};

struct Machine {
  std::map<std::string, Folder> folders;
  std::map<std::string, File> files;
  std::map<std::string, RegistryKey> keys;  // "hkcu\software\..." lowered
  std::map<UINT, std::string> strings;
  std::map<std::string, Bytes> rcdata;      // by upper-case name, as Windows stores it
  std::map<std::uintptr_t, HandleObject> handles;
  std::uintptr_t nextHandle = 0x1000;

  std::vector<int> answers;
  std::size_t nextAnswer = 0;
  std::vector<Dialog> dialogs;

  std::string systemDirectory = "C:\\windows\\system32";
  bool shortenNextWrite = false;
  bool failFlush = false;
  bool failFreeLibrary = false;
  bool offersDefaultDllDirectories = true;
  DWORD defaultDllDirectories = 0;
  std::optional<std::string> dllDirectory;
  std::vector<std::string> loadedLibraries;
  std::vector<std::string> failingValueNames;

  ProcessBehaviour processBehaviour;
  std::vector<Process> processes;
  std::vector<Launch> launches;
  std::vector<ShellOpen> shellOpens;

  DWORD now = 0;
  std::vector<Event> events;
  std::vector<KeyOpen> keyOpens;
  std::vector<std::string> queriedValues;

  DWORD lastError = 0;
};

Machine &M();

std::uintptr_t NewHandle(HandleObject object);
HandleObject *FindHandle(const void *handle, HandleKind kind);
void CloseOwnHandle(const void *handle);

// Moves the simulated clock on, noting the end of every process that ends on the way.
void AdvanceClockTo(DWORD when);
void RecordEvent(const std::string &what);

// Fails the calling Windows function: sets the last error and passes `result` through.
template <typename T>
T Fail(DWORD error, T result) {
  M().lastError = error;
  return result;
}

}  // namespace sim::detail
