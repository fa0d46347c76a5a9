// e2e-recorder: stands in for a program the installer starts (the browser behind the http/https
// open verb, regsvr32): appends one line saying how it was started, then exits 0.
//
// The line goes to the file named by the environment variable QUILLMARSH_E2E_RECORD, else to
// e2e-recorder.log beside this executable. It reads, fields separated by a tab:
//   module=<this executable's path>\tcommand=<the whole command line>\tshow=<how its window is to be
//   shown>\targ1=<...>\targ2=<...>...
// (arguments as the C runtime splits them; show is the starter's SW_ value, "default" when the
// starter left it to the program). With QUILLMARSH_E2E_RECORDER_DELAY_MS set it first waits that
// long, as a slow tool would, so a starter that does not wait for its end can be caught.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "win_handle.h"

int main(int argc, char** argv) {
  char delay[16] = {};
  DWORD d = GetEnvironmentVariableA("QUILLMARSH_E2E_RECORDER_DELAY_MS", delay, sizeof delay);
  if (d > 0 && d < sizeof delay) Sleep(static_cast<DWORD>(std::strtoul(delay, nullptr, 10)));

  char module[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, module, sizeof module);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  std::string show = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? std::to_string(startup.wShowWindow) : "default";
  std::string line = std::string("module=") + module + "\tcommand=" + GetCommandLineA() + "\tshow=" + show;
  for (int i = 1; i < argc; ++i) line += "\targ" + std::to_string(i) + "=" + argv[i];
  line += '\n';

  char logPath[MAX_PATH] = {};
  DWORD n = GetEnvironmentVariableA("QUILLMARSH_E2E_RECORD", logPath, sizeof logPath);
  if (n == 0 || n >= sizeof logPath) {
    if (!e2e::PathBesideSelf("e2e-recorder.log", logPath, sizeof logPath)) return 0;
  }
  // Appending in one write keeps the lines of recorders started one after another whole.
  e2e::File log(CreateFileA(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (log) {
    DWORD written = 0;
    WriteFile(log.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }
  return 0;
}
