// Stands in for a DLL that someone left beside setup.exe under a system DLL's
// name. It exports nothing; loading it at all is the fault, so it leaves
// "<its own path>.trace" behind the moment it is loaded.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH + 8] = {};
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return TRUE;
  lstrcatW(path, L".trace");
  HANDLE trace = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (trace != INVALID_HANDLE_VALUE) CloseHandle(trace);
  return TRUE;
}
