// A program that imports version.dll at start, as programs built the ordinary
// way do: the DLL-planting tests show with it that a planted copy is loaded
// in their prefix at all. The function is called only when asked for (any
// argument): a planted copy does not export it.
#include <windows.h>

int wmain(int argc, wchar_t**) {
  DWORD handle = 0;
  if (argc < 2) return 0;
  return GetFileVersionInfoSizeW(L"C:\\windows\\system32\\kernel32.dll", &handle) ? 0 : 1;
}
