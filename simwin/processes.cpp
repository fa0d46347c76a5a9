// Processes the shell starts, on the simulated clock: a process runs for its set time, then ends
// with its set exit code. Waiting moves the clock instead of blocking.
#include "machine.h"

namespace sim {
using namespace detail;

void SetProcessBehaviour(const ProcessBehaviour &behaviour) { M().processBehaviour = behaviour; }
const std::vector<Launch> &Launches() { return M().launches; }
const std::vector<ShellOpen> &ShellOpens() { return M().shellOpens; }

}  // namespace sim

namespace {
using namespace sim::detail;

std::optional<std::string> Text(LPCSTR text) {
  return text ? std::optional<std::string>(text) : std::nullopt;
}

}  // namespace

extern "C" {

BOOL WINAPI ShellExecuteExA(SHELLEXECUTEINFOA *info) {
  if (!info) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  M().launches.push_back({info->cbSize, info->fMask, info->hwnd, Text(info->lpVerb),
                          Text(info->lpFile), Text(info->lpParameters), Text(info->lpDirectory),
                          info->nShow});
  if (info->cbSize != sizeof(SHELLEXECUTEINFOA)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  info->hProcess = nullptr;
  const sim::ProcessBehaviour &behaviour = M().processBehaviour;
  if (!behaviour.starts) return Fail(ERROR_FILE_NOT_FOUND, FALSE);

  const std::string file = info->lpFile ? info->lpFile : "";
  M().processes.push_back({file, M().now + behaviour.runMillis, behaviour.exitCode});
  RecordEvent("start " + file);
  if ((info->fMask & SEE_MASK_NOCLOSEPROCESS) && behaviour.givesHandle) {
    HandleObject process{HandleKind::Process, file};
    process.process = M().processes.size() - 1;
    info->hProcess = reinterpret_cast<HANDLE>(NewHandle(process));
  }
  info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
  return TRUE;
}

HINSTANCE WINAPI ShellExecuteA(HWND hwnd, LPCSTR operation, LPCSTR file, LPCSTR parameters,
                               LPCSTR directory, INT show) {
  M().shellOpens.push_back({hwnd, Text(operation), Text(file), Text(parameters), Text(directory),
                            show});
  // Above 32 means success.
  return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  HandleObject *object = FindHandle(handle, HandleKind::Process);
  if (!object) return Fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
  const DWORD endsAt = M().processes[object->process].endsAt;
  if (M().now >= endsAt || milliseconds == INFINITE || endsAt - M().now <= milliseconds) {
    AdvanceClockTo(endsAt > M().now ? endsAt : M().now);
    return WAIT_OBJECT_0;
  }
  AdvanceClockTo(M().now + milliseconds);
  return WAIT_TIMEOUT;
}

BOOL WINAPI GetExitCodeProcess(HANDLE handle, LPDWORD exitCode) {
  HandleObject *object = FindHandle(handle, HandleKind::Process);
  if (!object || !exitCode) return Fail(ERROR_INVALID_HANDLE, FALSE);
  const Process &process = M().processes[object->process];
  *exitCode = M().now >= process.endsAt ? process.exitCode : STILL_ACTIVE;
  return TRUE;
}

}  // extern "C"
