// What the parts of the server share: the module handle and the count that decides whether the
// library may be unloaded.
#pragma once

#include <windows.h>

namespace vorlantix {

// This library's own module, remembered by DllMain for GetModuleFileNameA.
extern HMODULE g_module;

// Every live control, every reference to the class factory and every IClassFactory::LockServer
// lock holds the module; DllCanUnloadNow answers S_OK only when none is left.
void LockModule();
void UnlockModule();

// Creates one control and answers its interface riid in *out.
HRESULT CreateControl(REFIID riid, void** out);

}  // namespace vorlantix
