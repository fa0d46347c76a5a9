// Registration of the written component: the library is probed for its registration entry, then
// the system's registration tool registers it in a hidden process the installer waits for.
#pragma once

#include <windows.h>

#include "component_file.h"
#include "failure.h"

// Starts `file` hidden with `parameters` and waits until it ends; answers its exit code.
Result<DWORD> RunHiddenAndWait(const char *file, const char *parameters);

// True only when the library loads, exports DllRegisterServer, and the registration tool ran and
// succeeded.
bool RegisterLibrary(const ComponentPath &path);

// Registers the component; on failure shows the registration-failure dialog and answers false,
// which ends the run.
bool RunRegistrationStage(const ComponentPath &path);
