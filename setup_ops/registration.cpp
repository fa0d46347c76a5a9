#include "registration.h"

#include <shellapi.h>

#include "dialogs.h"
#include "win_handles.h"

namespace {

// The system's own tool, never one found beside the installer (which usually sits in the user's
// download folder). A 32-bit installer on 64-bit Windows gets the 32-bit tool, as it should.
using ToolPath = BoundedText<MAX_PATH + 16>;
// "/s " and the quoted path.
using ToolParameters = BoundedText<MAX_PATH + 8>;

Result<ToolPath> RegistrationToolPath() {
  ToolPath path;
  const UINT length = GetSystemDirectoryA(path.Buffer(), static_cast<UINT>(ToolPath::BufferSize()));
  if (length == 0 || length >= ToolPath::BufferSize()) return MakeFailure("No system directory");
  path.SetLengthFromBuffer(length);
  if (!path.Append("\\regsvr32.exe")) return MakeFailure("System directory too long");
  return path;
}

Result<DWORD> RunRegistrationTool(const ComponentPath &path) {
  const Result<ToolPath> tool = RegistrationToolPath();
  if (!tool) return tool.GetFailure();
  ToolParameters parameters;
  if (!parameters.Assign("/s \"") || !parameters.Append(path.View()) || !parameters.Append("\""))
    return MakeFailure("Path too long: ", path.View());
  return RunHiddenAndWait(tool.Value().CStr(), parameters.CStr());
}

}  // namespace

Result<DWORD> RunHiddenAndWait(const char *file, const char *parameters) {
  SHELLEXECUTEINFOA execute = {};
  execute.cbSize = sizeof(execute);
  execute.fMask = SEE_MASK_NOCLOSEPROCESS;
  execute.lpFile = file;
  execute.lpParameters = parameters;
  execute.nShow = SW_HIDE;
  if (!ShellExecuteExA(&execute)) return MakeFailure("Cannot start ", file);

  // Without a process handle the tool's outcome can never be known.
  const UniqueProcess process(execute.hProcess);
  if (!process) return MakeFailure("No process to wait for: ", file);
  if (WaitForSingleObject(process.Get(), INFINITE) != WAIT_OBJECT_0)
    return MakeFailure("Cannot wait for ", file);
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(process.Get(), &exitCode)) return MakeFailure("No exit code from ", file);
  return exitCode;
}

bool RegisterLibrary(const ComponentPath &path) {
  // Loading the library here proves it loads at all before the tool is asked to register it; it
  // stays loaded until the tool has ended.
  UniqueLibrary library(LoadLibraryA(path.CStr()));
  if (!library || !GetProcAddress(library.Get(), "DllRegisterServer")) return false;
  const Result<DWORD> tool = RunRegistrationTool(path);
  const bool unloaded = FreeLibrary(library.Release()) != FALSE;
  return tool && tool.Value() == 0 && unloaded;
}

bool RunRegistrationStage(const ComponentPath &path) {
  if (RegisterLibrary(path)) return true;
  ShowRegistrationFailure();
  return false;
}
