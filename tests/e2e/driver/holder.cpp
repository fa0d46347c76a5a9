// e2e-holder: holds a file open with share mode 0, as another program using it would, so that no
// one else can open it. Creates the flag file once the file is held and lets go when the flag file
// is deleted or after the given number of seconds, whichever comes first.
//
//   e2e-holder.exe <file> <flag file> <seconds>
//
// Exit code: 0 after letting go, 2 when the file could not be opened, 3 when the flag could not be
// made, 100 on a usage error.
#include <windows.h>

#include <cstdlib>

#include "win_handle.h"

int main(int argc, char** argv) {
  if (argc != 4) return 100;
  DWORD limitMs = static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)) * 1000;
  e2e::File held(CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                             nullptr));
  if (!held) return 2;
  e2e::File flag(CreateFileA(argv[2], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!flag) return 3;
  flag.reset();
  DWORD start = GetTickCount();
  while (GetFileAttributesA(argv[2]) != INVALID_FILE_ATTRIBUTES && GetTickCount() - start < limitMs) Sleep(20);
  return 0;
}
