#include "zone_settings.h"

#include <windows.h>

#include "dialogs.h"
#include "registry.h"
#include "win_handles.h"

namespace {

constexpr char kInternetZoneKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\3";
constexpr char kRunActiveXPolicy[] = "1200";
constexpr char kScriptActiveXPolicy[] = "1405";
constexpr DWORD kPolicyAllow = 0;
constexpr DWORD kPolicyAsk = 1;

bool PolicyAllowsOrAsks(const char *policy) {
  UniqueKey zone;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kInternetZoneKey, 0, KEY_READ, zone.Put()) != ERROR_SUCCESS)
    return false;
  const Result<DWORD> value = ReadDword(zone.Get(), policy);
  return value && (value.Value() == kPolicyAllow || value.Value() == kPolicyAsk);
}

}  // namespace

bool ActiveXRunAllowed() { return PolicyAllowsOrAsks(kRunActiveXPolicy); }

bool ActiveXScriptingAllowed() { return PolicyAllowsOrAsks(kScriptActiveXPolicy); }

bool EnableActiveXZoneSettings() {
  UniqueKey zone;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kInternetZoneKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, zone.Put(), nullptr) != ERROR_SUCCESS)
    return false;
  // "1405" is left alone when "1200" could not be written.
  return WriteDword(zone.Get(), kRunActiveXPolicy, kPolicyAllow) &&
         WriteDword(zone.Get(), kScriptActiveXPolicy, kPolicyAllow);
}

void RunZoneSettingsStage() {
  if (ActiveXRunAllowed() && ActiveXScriptingAllowed()) return;
  // Whether the change worked is not reported: the run goes on either way.
  if (AskToChangeZoneSettings()) EnableActiveXZoneSettings();
}
