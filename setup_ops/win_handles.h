// Owners for the Windows resources the installer holds: each closes its handle when it goes out of
// scope, so a handle is released on every path by construction. Move-only; Get() hands the raw
// handle to a Windows call, Put() resets and hands out the address for an out-parameter.
#pragma once

#include <windows.h>

#include <utility>

template <typename Handle, Handle Invalid(), void Close(Handle)>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  ~UniqueHandle() { Reset(); }

  UniqueHandle(UniqueHandle &&other) noexcept : handle_(other.Release()) {}
  UniqueHandle &operator=(UniqueHandle &&other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueHandle(const UniqueHandle &) = delete;
  UniqueHandle &operator=(const UniqueHandle &) = delete;

  Handle Get() const { return handle_; }
  explicit operator bool() const { return handle_ != Invalid(); }

  Handle *Put() {
    Reset();
    return &handle_;
  }
  Handle Release() { return std::exchange(handle_, Invalid()); }

  // Closing keeps the last error, so a failure's reason survives the clean-up that follows it.
  void Reset(Handle handle = Invalid()) {
    const Handle old = std::exchange(handle_, handle);
    if (old != Invalid()) {
      const DWORD lastError = GetLastError();
      Close(old);
      SetLastError(lastError);
    }
  }

 private:
  Handle handle_ = Invalid();
};

namespace win_handles_detail {
inline HANDLE NullHandle() { return nullptr; }
inline HANDLE InvalidFileHandle() { return INVALID_HANDLE_VALUE; }
inline void CloseKernelHandle(HANDLE handle) { CloseHandle(handle); }
inline HKEY NullKey() { return nullptr; }
inline void CloseKey(HKEY key) { RegCloseKey(key); }
inline HMODULE NullModule() { return nullptr; }
inline void UnloadLibrary(HMODULE module) { FreeLibrary(module); }
inline HGLOBAL NullResource() { return nullptr; }
// A loaded resource needs no release on Win32; FreeResource is a harmless no-op kept so that the
// resource's lifetime is stated in one place like every other handle's.
inline void FreeLoadedResource(HGLOBAL resource) { FreeResource(resource); }
}  // namespace win_handles_detail

using UniqueFile = UniqueHandle<HANDLE, win_handles_detail::InvalidFileHandle,
                                win_handles_detail::CloseKernelHandle>;
using UniqueProcess =
    UniqueHandle<HANDLE, win_handles_detail::NullHandle, win_handles_detail::CloseKernelHandle>;
using UniqueKey = UniqueHandle<HKEY, win_handles_detail::NullKey, win_handles_detail::CloseKey>;
using UniqueLibrary =
    UniqueHandle<HMODULE, win_handles_detail::NullModule, win_handles_detail::UnloadLibrary>;
using LoadedResource = UniqueHandle<HGLOBAL, win_handles_detail::NullResource,
                                    win_handles_detail::FreeLoadedResource>;
