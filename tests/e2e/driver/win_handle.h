// Owners for the Windows handles the test tools hold: each closes its handle when it goes.
#pragma once

#include <windows.h>

namespace e2e {

// Traits name the handle type, its "no handle" value and how it is closed.
template <typename Traits>
class Owned {
 public:
  using Handle = typename Traits::Handle;

  Owned() = default;
  explicit Owned(Handle h) : handle_(h) {}
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& other) noexcept : handle_(other.release()) {}
  Owned& operator=(Owned&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ~Owned() { reset(); }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Traits::Invalid(); }
  Handle release() {
    Handle h = handle_;
    handle_ = Traits::Invalid();
    return h;
  }
  void reset(Handle h = Traits::Invalid()) {
    if (handle_ != Traits::Invalid()) {
      DWORD error = GetLastError();  // closing must not hide the error being reported
      Traits::Close(handle_);
      SetLastError(error);
    }
    handle_ = h;
  }

 private:
  Handle handle_ = Traits::Invalid();
};

struct KernelHandleTraits {
  using Handle = HANDLE;
  static HANDLE Invalid() { return nullptr; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct FileHandleTraits {
  using Handle = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct ModuleTraits {
  using Handle = HMODULE;
  static HMODULE Invalid() { return nullptr; }
  static void Close(HMODULE m) { FreeLibrary(m); }
};
struct HookTraits {
  using Handle = HHOOK;
  static HHOOK Invalid() { return nullptr; }
  static void Close(HHOOK h) { UnhookWindowsHookEx(h); }
};

using KernelHandle = Owned<KernelHandleTraits>;
using File = Owned<FileHandleTraits>;
using Module = Owned<ModuleTraits>;
using Hook = Owned<HookTraits>;

// A file path beside this program's own executable.
inline bool PathBesideSelf(const char* fileName, char* out, DWORD capacity) {
  DWORD n = GetModuleFileNameA(nullptr, out, capacity);
  if (n == 0 || n >= capacity) return false;
  char* slash = out + n;
  while (slash > out && slash[-1] != '\\' && slash[-1] != '/') --slash;
  size_t room = capacity - static_cast<size_t>(slash - out);
  if (lstrlenA(fileName) + 1 > static_cast<int>(room)) return false;
  lstrcpyA(slash, fileName);
  return true;
}

}  // namespace e2e
