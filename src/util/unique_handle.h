// One move-only owner for every kind of Windows handle. reset() keeps the
// thread's last error, so an owner going out of scope never hides the code
// a caller is about to read.
#pragma once
#include <windows.h>
#include <wininet.h>

template <typename Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() noexcept : value_(Traits::Invalid()) {}
  explicit UniqueHandle(Type value) noexcept : value_(value) {}
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  Type get() const noexcept { return value_; }
  bool valid() const noexcept { return value_ != Traits::Invalid(); }
  explicit operator bool() const noexcept { return valid(); }

  // Closes the current value and returns the slot for an API's out argument.
  Type* put() noexcept {
    reset();
    return &value_;
  }
  Type release() noexcept {
    Type value = value_;
    value_ = Traits::Invalid();
    return value;
  }
  void reset(Type value = Traits::Invalid()) noexcept {
    if (valid()) {
      DWORD error = GetLastError();
      Traits::Close(value_);
      SetLastError(error);
    }
    value_ = value;
  }

 private:
  Type value_;
};

struct KernelHandleTraits {  // processes, threads, events, mutexes: null is invalid
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFileW: INVALID_HANDLE_VALUE is invalid
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { CloseHandle(h); }
};
struct FindHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { FindClose(h); }
};
struct RegKeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { RegCloseKey(h); }
};
struct ModuleTraits {
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { FreeLibrary(h); }
};
// WinINet is loaded from the system folder, never imported (util/system_library.h).
void CloseInternetHandle(HINTERNET handle);
struct InternetHandleTraits {
  using Type = HINTERNET;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { CloseInternetHandle(h); }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFile = UniqueHandle<FileHandleTraits>;
using UniqueFind = UniqueHandle<FindHandleTraits>;
using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueModule = UniqueHandle<ModuleTraits>;
using UniqueInternet = UniqueHandle<InternetHandleTraits>;
