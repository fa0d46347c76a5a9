// A library of ours planted beside a program under the name of a system library that the program
// loads on demand (uxtheme.dll: user32 loads it for the first message box). Loaded into a process,
// it leaves a marker beside itself naming that process, so a scenario can tell whether the planted
// copy was picked up instead of the system's. It exports nothing: it is never meant to work.
#include <windows.h>

#include "win_handle.h"

namespace {

constexpr char kMarkerName[] = "planted-dll-loaded.txt";

// The marker's path: this library's folder and kMarkerName.
bool MarkerPath(HMODULE self, char* out, DWORD capacity) {
  DWORD n = GetModuleFileNameA(self, out, capacity);
  if (n == 0 || n >= capacity) return false;
  char* slash = out + n;
  while (slash > out && slash[-1] != '\\' && slash[-1] != '/') --slash;
  if (static_cast<DWORD>(slash - out) + sizeof kMarkerName > capacity) return false;
  lstrcpyA(slash, kMarkerName);
  return true;
}

void LeaveMarker(HMODULE self) {
  char marker[MAX_PATH];
  char process[MAX_PATH] = {};
  if (!MarkerPath(self, marker, sizeof marker)) return;
  GetModuleFileNameA(nullptr, process, sizeof process);
  e2e::File file(CreateFileA(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  DWORD written = 0;
  WriteFile(file.get(), process, static_cast<DWORD>(lstrlenA(process)), &written, nullptr);
  WriteFile(file.get(), "\n", 1, &written, nullptr);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) LeaveMarker(instance);
  return TRUE;
}
