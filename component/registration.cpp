// DllRegisterServer and DllUnregisterServer: the control's class, its two ProgIDs and the
// component categories that mark it safe for scripting and initialising, all under
// HKEY_CLASSES_ROOT. Both walk one table, so removal takes away exactly what registration wrote.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include "ids.h"
#include "unique_handle.h"
#include "server.h"

namespace vorlantix {
namespace {

#define CLASS_KEY "CLSID\\" VORLANTIX_CLSID_TEXT
#define CATEGORIES_KEY CLASS_KEY "\\Implemented Categories"

enum class Value {
  kNone,        // the key alone
  kText,        // the entry's text
  kModulePath,  // this library's full path, known only when registering
};

struct Entry {
  const char* key;   // below HKEY_CLASSES_ROOT
  Value value;
  const char* name;  // null for the key's default value
  const char* text;
};

// In writing order: each key comes after the key that holds it, so removal can walk the table
// backwards and always find a key empty of our own subkeys.
constexpr Entry kEntries[] = {
    {CLASS_KEY, Value::kText, nullptr, VORLANTIX_CLASS_NAME},
    {CLASS_KEY "\\InprocServer32", Value::kModulePath, nullptr, nullptr},
    {CLASS_KEY "\\InprocServer32", Value::kText, "ThreadingModel", "Apartment"},
    {CLASS_KEY "\\ProgID", Value::kText, nullptr, VORLANTIX_PROGID},
    {CLASS_KEY "\\VersionIndependentProgID", Value::kText, nullptr,
     VORLANTIX_VERSION_INDEPENDENT_PROGID},
    {CLASS_KEY "\\Control", Value::kNone, nullptr, nullptr},
    {CATEGORIES_KEY, Value::kNone, nullptr, nullptr},
    // CATID_SafeForScripting and CATID_SafeForInitializing. They are written here as keys rather
    // than through ICatRegister, which would also touch the shared "Component Categories" tree.
    {CATEGORIES_KEY "\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}", Value::kNone, nullptr, nullptr},
    {CATEGORIES_KEY "\\{7DD95802-9882-11CF-9FA9-00AA006C42C4}", Value::kNone, nullptr, nullptr},
    {VORLANTIX_PROGID, Value::kText, nullptr, VORLANTIX_CLASS_NAME},
    {VORLANTIX_PROGID "\\CLSID", Value::kText, nullptr, VORLANTIX_CLSID_TEXT},
    {VORLANTIX_VERSION_INDEPENDENT_PROGID, Value::kText, nullptr, VORLANTIX_CLASS_NAME},
    {VORLANTIX_VERSION_INDEPENDENT_PROGID "\\CLSID", Value::kText, nullptr, VORLANTIX_CLSID_TEXT},
    {VORLANTIX_VERSION_INDEPENDENT_PROGID "\\CurVer", Value::kText, nullptr, VORLANTIX_PROGID},
};

// A Windows error as a failing HRESULT. Some calls fail without setting an error; zero must not
// turn into S_OK.
HRESULT FailureFrom(DWORD error) {
  return error == ERROR_SUCCESS ? SELFREG_E_CLASS : HRESULT_FROM_WIN32(error);
}

LONG WriteEntry(const Entry& entry, const char* module_path) {
  RegKey key;
  LONG error = RegCreateKeyExA(HKEY_CLASSES_ROOT, entry.key, 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_SET_VALUE, nullptr, key.put(), nullptr);
  if (error != ERROR_SUCCESS || entry.value == Value::kNone) return error;
  const char* text = entry.value == Value::kModulePath ? module_path : entry.text;
  return RegSetValueExA(key.get(), entry.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                        static_cast<DWORD>(lstrlenA(text) + 1));
}

// Deletes one of our keys once it holds no subkey. A subkey left at that point belongs to
// someone else, and some Windows versions would delete it along with the key: refuse instead.
// A key that is already gone counts as removed.
LONG DeleteOwnKey(const char* path) {
  {
    RegKey key;
    LONG error = RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, KEY_QUERY_VALUE, key.put());
    if (error == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (error != ERROR_SUCCESS) return error;
    DWORD subkeys = 0;
    error = RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr);
    if (error != ERROR_SUCCESS) return error;
    if (subkeys != 0) return ERROR_DIR_NOT_EMPTY;
  }
  const LONG error = RegDeleteKeyA(HKEY_CLASSES_ROOT, path);
  return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
}

// Removes every key of the table, carrying on past a failure so as little as possible stays
// behind; answers the first failure.
LONG RemoveEntries() {
  LONG first_error = ERROR_SUCCESS;
  for (size_t i = sizeof kEntries / sizeof kEntries[0]; i-- > 0;) {
    const LONG error = DeleteOwnKey(kEntries[i].key);
    if (first_error == ERROR_SUCCESS) first_error = error;
  }
  return first_error;
}

}  // namespace
}  // namespace vorlantix

STDAPI DllRegisterServer() {
  using namespace vorlantix;
  char module_path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(g_module, module_path, sizeof module_path);
  if (length == 0) return FailureFrom(GetLastError());
  // A path that does not fit comes back cut short; registering it would name another file.
  if (length >= sizeof module_path) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);

  for (const Entry& entry : kEntries) {
    const LONG error = WriteEntry(entry, module_path);
    if (error != ERROR_SUCCESS) {
      // A half-written class would look registered but fail to create: take it all back.
      RemoveEntries();
      return FailureFrom(error);
    }
  }
  return S_OK;
}

STDAPI DllUnregisterServer() {
  const LONG error = vorlantix::RemoveEntries();
  return error == ERROR_SUCCESS ? S_OK : vorlantix::FailureFrom(error);
}
