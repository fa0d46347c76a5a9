// The installer's entry point. It reads no command line: everything it needs is in its resources.
#include <windows.h>

#include "install_sequence.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return RunInstaller(); }
