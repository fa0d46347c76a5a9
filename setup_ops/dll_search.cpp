#include "dll_search.h"

#include <windows.h>

void RestrictDllSearchToSystemDirectory() {
  // Looked up at run time: Windows without the function still runs the installer.
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI *)(DWORD);
  const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  const FARPROC function = kernel32 ? GetProcAddress(kernel32, "SetDefaultDllDirectories") : nullptr;
  const auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
      reinterpret_cast<void (*)()>(function));
  if (setDefaultDllDirectories && setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  // The fallback at least takes the current directory out of the search.
  SetDllDirectoryA("");
}
