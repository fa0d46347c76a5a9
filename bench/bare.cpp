// The floor for "start to first dialog": a GUI program that only shows one message box, built with
// the installer's own compiler flags, so the difference is the installer's work before its first box.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  MessageBoxA(nullptr, "One message box and nothing else.", "bench-bare", MB_OK);
  return 0;
}
