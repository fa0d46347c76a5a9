// advapi32's registry functions over the simulated keys, with Windows' rules for sizes and types.
#include <cstring>

#include "machine.h"

namespace {
using namespace sim::detail;

constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK;

std::optional<std::string> RootName(HKEY root) {
  if (root == HKEY_CLASSES_ROOT) return std::string("hkcr");
  if (root == HKEY_CURRENT_USER) return std::string("hkcu");
  if (root == HKEY_LOCAL_MACHINE) return std::string("hklm");
  return std::nullopt;
}

std::string KeyId(HKEY root, const std::string &path) {
  const std::string key = PathKey(path);
  return *RootName(root) + (key.empty() ? "" : "\\" + key);
}

// A key may be named from a predefined root or from an open key.
std::optional<std::string> BaseId(HKEY base) {
  if (const auto root = RootName(base)) return root;
  if (HandleObject *key = FindHandle(base, HandleKind::Key)) return key->path;
  return std::nullopt;
}

std::string Join(const std::string &base, LPCSTR subKey) {
  const std::string key = PathKey(subKey ? subKey : "");
  return key.empty() ? base : base + "\\" + key;
}

std::string RootPath(const std::string &id, std::string *rest) {
  const std::size_t slash = id.find('\\');
  *rest = slash == std::string::npos ? "" : id.substr(slash + 1);
  return id.substr(0, slash);
}

HKEY OpenHandle(const std::string &id, REGSAM access, bool created) {
  std::string rest;
  const std::string root = RootPath(id, &rest);
  const HKEY rootKey = root == "hkcr" ? HKEY_CLASSES_ROOT
                       : root == "hkcu" ? HKEY_CURRENT_USER
                                        : HKEY_LOCAL_MACHINE;
  M().keyOpens.push_back({rootKey, rest, access, created});
  return reinterpret_cast<HKEY>(NewHandle({HandleKind::Key, id, access}));
}

}  // namespace

namespace sim {

void PutKey(HKEY root, const std::string &path) {
  // Parents exist whenever a child does.
  std::string id = KeyId(root, path);
  for (;;) {
    M().keys[id];
    const std::size_t slash = id.rfind('\\');
    if (slash == std::string::npos) break;
    id.resize(slash);
  }
}

void PutValue(HKEY root, const std::string &path, const std::string &name, DWORD type,
              const Bytes &data) {
  PutKey(root, path);
  M().keys[KeyId(root, path)].values[Lower(name)] = {type, data};
}

void PutDword(HKEY root, const std::string &path, const std::string &name, DWORD value) {
  Bytes data(4);
  std::memcpy(data.data(), &value, 4);
  PutValue(root, path, name, REG_DWORD, data);
}

bool KeyExists(HKEY root, const std::string &path) { return M().keys.count(KeyId(root, path)) != 0; }

std::optional<Value> GetValue(HKEY root, const std::string &path, const std::string &name) {
  const auto key = M().keys.find(KeyId(root, path));
  if (key == M().keys.end()) return std::nullopt;
  const auto value = key->second.values.find(Lower(name));
  if (value == key->second.values.end()) return std::nullopt;
  return value->second;
}

void DenyWriteAccess(HKEY root, const std::string &path) {
  PutKey(root, path);
  M().keys[KeyId(root, path)].writeDenied = true;
}

void FailSetValue(const std::string &name) { M().failingValueNames.push_back(Lower(name)); }

const std::vector<KeyOpen> &KeyOpens() { return M().keyOpens; }
const std::vector<std::string> &QueriedValues() { return M().queriedValues; }

}  // namespace sim

extern "C" {

LSTATUS WINAPI RegOpenKeyExA(HKEY base, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  const auto baseId = BaseId(base);
  if (!baseId) return ERROR_INVALID_HANDLE;
  const std::string id = Join(*baseId, subKey);
  const auto key = M().keys.find(id);
  if (key == M().keys.end()) return ERROR_FILE_NOT_FOUND;
  if (key->second.writeDenied && (access & kWriteRights)) return ERROR_ACCESS_DENIED;
  *result = OpenHandle(id, access, false);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyExA(HKEY base, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access,
                               LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  const auto baseId = BaseId(base);
  if (!baseId) return ERROR_INVALID_HANDLE;
  const std::string id = Join(*baseId, subKey);
  const bool existed = M().keys.count(id) != 0;
  if (existed && M().keys[id].writeDenied && (access & kWriteRights)) return ERROR_ACCESS_DENIED;
  for (std::string part = id;;) {
    M().keys[part];
    const std::size_t slash = part.rfind('\\');
    if (slash == std::string::npos) break;
    part.resize(slash);
  }
  if (disposition) *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
  *result = OpenHandle(id, access, true);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExA(HKEY handle, LPCSTR name, LPDWORD reserved, LPDWORD type,
                                LPBYTE data, LPDWORD size) {
  HandleObject *key = FindHandle(handle, HandleKind::Key);
  if (!key) return ERROR_INVALID_HANDLE;
  if (reserved || (data && !size)) return ERROR_INVALID_PARAMETER;
  M().queriedValues.push_back(name ? name : "");
  if (!(key->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  const auto &values = M().keys[key->path].values;
  const auto value = values.find(Lower(name ? name : ""));
  if (value == values.end()) return ERROR_FILE_NOT_FOUND;
  const sim::Bytes &stored = value->second.data;
  if (type) *type = value->second.type;
  if (!size) return ERROR_SUCCESS;
  const DWORD room = *size;
  *size = static_cast<DWORD>(stored.size());
  if (!data) return ERROR_SUCCESS;
  if (room < stored.size()) return ERROR_MORE_DATA;
  if (!stored.empty()) std::memcpy(data, stored.data(), stored.size());
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExA(HKEY handle, LPCSTR name, DWORD, DWORD type, const BYTE *data,
                              DWORD size) {
  HandleObject *key = FindHandle(handle, HandleKind::Key);
  if (!key) return ERROR_INVALID_HANDLE;
  if (!(key->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  const std::string valueName = Lower(name ? name : "");
  for (const std::string &failing : M().failingValueNames)
    if (failing == valueName) return ERROR_ACCESS_DENIED;
  M().keys[key->path].values[valueName] = {type, sim::Bytes(data, data + size)};
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY handle) {
  if (RootName(handle)) return ERROR_SUCCESS;
  if (!FindHandle(handle, HandleKind::Key)) return ERROR_INVALID_HANDLE;
  CloseOwnHandle(handle);
  return ERROR_SUCCESS;
}

}  // extern "C"
