#include "registry.h"

#include <cstring>
#include <string_view>

Result<DWORD> ReadDword(HKEY key, const char *valueName) {
  DWORD type = REG_NONE;
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE *>(&value), &size) !=
      ERROR_SUCCESS)
    return MakeFailure("Cannot read ", valueName);
  if (type != REG_DWORD || size != sizeof(value)) return MakeFailure("Not a DWORD: ", valueName);
  return value;
}

Status WriteDword(HKEY key, const char *valueName, DWORD value) {
  if (RegSetValueExA(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                     sizeof(value)) != ERROR_SUCCESS)
    return MakeFailure("Cannot write ", valueName);
  return Status::Ok();
}

Status ReadText(HKEY key, const char *valueName, RegistryText &text) {
  text.Clear();
  DWORD type = REG_NONE;
  // One byte is kept back so the buffer is terminated even when the data is not.
  DWORD size = static_cast<DWORD>(RegistryText::kCapacity);
  if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE *>(text.Buffer()),
                       &size) != ERROR_SUCCESS)
    return MakeFailure("Cannot read text value");
  if (type != REG_SZ && type != REG_EXPAND_SZ) return MakeFailure("Not a text value");
  const std::size_t returned = size < RegistryText::kCapacity ? size : RegistryText::kCapacity;
  const void *nul = std::memchr(text.Buffer(), '\0', returned);
  text.SetLengthFromBuffer(nul ? static_cast<const char *>(nul) - text.Buffer() : returned);
  return Status::Ok();
}
