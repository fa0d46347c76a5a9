// The library's entry points: DllMain, the class factory, DllGetClassObject and DllCanUnloadNow.
// Registration lives in registration.cpp, the control itself in control.cpp.
#include <windows.h>
#include <ole2.h>

#include "ids.h"
#include "server.h"

namespace vorlantix {

HMODULE g_module = nullptr;

namespace {

LONG g_module_locks = 0;

// One factory serves every request. It lives as long as the library does, so its references
// only hold the module: a client keeping a factory pointer must keep the code behind it loaded.
class ClassFactory final : public IClassFactory {
 public:
  HRESULT WINAPI QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }

  ULONG WINAPI AddRef() override {
    LockModule();
    return 2;
  }

  ULONG WINAPI Release() override {
    UnlockModule();
    return 1;
  }

  HRESULT WINAPI CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return CreateControl(riid, out);
  }

  HRESULT WINAPI LockServer(BOOL lock) override {
    if (lock) {
      LockModule();
    } else {
      UnlockModule();
    }
    return S_OK;
  }
};

ClassFactory g_class_factory;

}  // namespace

void LockModule() { InterlockedIncrement(&g_module_locks); }
void UnlockModule() { InterlockedDecrement(&g_module_locks); }

}  // namespace vorlantix

// Loading the library must have no effect beyond this: no thread notifications are needed.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    vorlantix::g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(clsid, vorlantix::kVorlantixClsid)) return CLASS_E_CLASSNOTAVAILABLE;
  return vorlantix::g_class_factory.QueryInterface(riid, out);
}

STDAPI DllCanUnloadNow() {
  return vorlantix::g_module_locks == 0 ? S_OK : S_FALSE;
}
