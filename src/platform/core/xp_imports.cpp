// The MinGW thread runtime that the C++ library links in imports
// GetTickCount64, which Windows XP's kernel32 lacks; one missing import keeps
// the whole executable from loading there. This file supplies the import slot
// itself, so the linker takes it before kernel32's: the real function where
// the system has it, a wrap-counting GetTickCount elsewhere.
#include <windows.h>

namespace {
using GetTickCount64Fn = ULONGLONG(WINAPI*)();

ULONGLONG WINAPI PortableTickCount64() {
  static GetTickCount64Fn real = reinterpret_cast<GetTickCount64Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount64")));
  if (real) return real();
  // Wraps every 49.7 days; count the wraps seen between calls.
  static volatile LONG high = 0;
  static volatile LONG last = 0;
  DWORD now = GetTickCount();
  DWORD previous = static_cast<DWORD>(InterlockedExchange(&last, static_cast<LONG>(now)));
  if (now < previous) InterlockedIncrement(&high);
  return (static_cast<ULONGLONG>(static_cast<DWORD>(high)) << 32) | now;
}
}  // namespace

// The name the import library would define for kernel32!GetTickCount64:
// decorated stdcall with a leading underscore on x86, the plain name on x64
// (XP x64's kernel32 lacks it too).
#ifdef _WIN64
#define CHAINER_TICK_COUNT64_IMPORT "__imp_GetTickCount64"
#else
#define CHAINER_TICK_COUNT64_IMPORT "__imp__GetTickCount64@0"
#endif
extern "C" {
void* imp_get_tick_count64 __asm__(CHAINER_TICK_COUNT64_IMPORT) =
    reinterpret_cast<void*>(&PortableTickCount64);
}
