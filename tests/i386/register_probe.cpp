// A trivial self-registering 32-bit library for i386_checks.sh: DllRegisterServer records, in the
// registry view of the process that loaded it, which module it is and whether that process runs under
// WoW64, plus an in-process server entry under HKCR\CLSID like a COM control's.
#include <windows.h>

namespace {

// {6B1E4C2A-9D3F-4E57-A8B0-2C71D5E9F403}: this probe's own class id.
constexpr char kClassKey[] = "CLSID\\{6B1E4C2A-9D3F-4E57-A8B0-2C71D5E9F403}";
constexpr char kServerKey[] = "CLSID\\{6B1E4C2A-9D3F-4E57-A8B0-2C71D5E9F403}\\InprocServer32";
constexpr char kProbeKey[] = "Software\\Quillmarsh\\I386Probe";

HMODULE g_module = nullptr;

class RegKey {
 public:
  RegKey() = default;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey() {
    if (key_) RegCloseKey(key_);
  }
  bool Create(HKEY root, const char* path) {
    return RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key_, nullptr) ==
           ERROR_SUCCESS;
  }
  bool SetString(const char* name, const char* value) {
    return RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                          lstrlenA(value) + 1) == ERROR_SUCCESS;
  }
  bool SetDword(const char* name, DWORD value) {
    return RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof(value)) == ERROR_SUCCESS;
  }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(g_module, path, sizeof(path));
  if (length == 0 || length >= sizeof(path)) return E_FAIL;
  BOOL wow64 = FALSE;
  if (!IsWow64Process(GetCurrentProcess(), &wow64)) return E_FAIL;

  RegKey probe;
  if (!probe.Create(HKEY_LOCAL_MACHINE, kProbeKey) || !probe.SetString("Module", path) ||
      !probe.SetDword("Wow64", wow64 ? 1 : 0))
    return E_FAIL;
  RegKey server;
  if (!server.Create(HKEY_CLASSES_ROOT, kServerKey) || !server.SetString(nullptr, path) ||
      !server.SetString("ThreadingModel", "Apartment"))
    return E_FAIL;
  return S_OK;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer() {
  RegDeleteKeyA(HKEY_CLASSES_ROOT, kServerKey);
  RegDeleteKeyA(HKEY_CLASSES_ROOT, kClassKey);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kProbeKey);
  return S_OK;
}
