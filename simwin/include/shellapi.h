// The shell calls the installer uses, declared for host builds (see windows.h beside this file).
#pragma once

#include <windows.h>

#define SEE_MASK_NOCLOSEPROCESS 0x00000040

struct SHELLEXECUTEINFOA {
  DWORD cbSize;
  ULONG fMask;
  HWND hwnd;
  LPCSTR lpVerb;
  LPCSTR lpFile;
  LPCSTR lpParameters;
  LPCSTR lpDirectory;
  int nShow;
  HINSTANCE hInstApp;
  void *lpIDList;
  LPCSTR lpClass;
  HKEY hkeyClass;
  DWORD dwHotKey;
  HANDLE hIcon;
  HANDLE hProcess;
};
typedef SHELLEXECUTEINFOA *LPSHELLEXECUTEINFOA;

extern "C" {
BOOL WINAPI ShellExecuteExA(SHELLEXECUTEINFOA *pExecInfo);
HINSTANCE WINAPI ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                               LPCSTR lpDirectory, INT nShowCmd);
}
