// Owns one Windows handle and closes it with Close when it goes out of scope. Each kind of
// handle is a one-line alias below (or beside its one user).
#pragma once

#include <windows.h>

namespace vorlantix {

template <typename Handle, auto Close>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  Handle get() const { return handle_; }

  // For the out-parameter of a Windows call: closes what was held first.
  Handle* put() {
    reset();
    return &handle_;
  }

  void reset() {
    if (handle_) Close(handle_);
    handle_ = nullptr;
  }

 private:
  Handle handle_ = nullptr;
};

using RegKey = UniqueHandle<HKEY, RegCloseKey>;

}  // namespace vorlantix
