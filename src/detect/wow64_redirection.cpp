#include "detect/wow64_redirection.h"

namespace {
using DisableFn = BOOL(WINAPI*)(PVOID*);
using RevertFn = BOOL(WINAPI*)(PVOID);

FARPROC Kernel32Function(const char* name) {
  return GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name);
}

DisableFn DisableFunction() {
  static const DisableFn disable = reinterpret_cast<DisableFn>(
      reinterpret_cast<void*>(Kernel32Function("Wow64DisableWow64FsRedirection")));
  return disable;
}

RevertFn RevertFunction() {
  static const RevertFn revert = reinterpret_cast<RevertFn>(
      reinterpret_cast<void*>(Kernel32Function("Wow64RevertWow64FsRedirection")));
  return revert;
}
}  // namespace

FsRedirectionOff::FsRedirectionOff(bool turn_off) {
  if (!turn_off || !DisableFunction() || !RevertFunction()) return;
  active_ = DisableFunction()(&old_value_) != FALSE;
}

FsRedirectionOff::~FsRedirectionOff() {
  if (!active_) return;
  const DWORD error = GetLastError();
  RevertFunction()(old_value_);
  SetLastError(error);
}
