// exit_with CODE [RECORD_FILE]: a stand-in setup. Appends its own command line
// and working folder to RECORD_FILE (UTF-8, one line each) when given, then
// exits with CODE (decimal, may be negative or above 2^31).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 0;
  if (argc > 2) {
    FILE* record = _wfopen(argv[2], L"ab");
    if (record) {
      wchar_t folder[MAX_PATH] = {};
      GetCurrentDirectoryW(MAX_PATH, folder);
      std::fprintf(record, "%ls\n%ls\n", GetCommandLineW(), folder);
      std::fclose(record);
    }
  }
  return static_cast<int>(std::wcstoul(argv[1][0] == L'-' ? argv[1] + 1 : argv[1], nullptr, 10) *
                          (argv[1][0] == L'-' ? -1 : 1));
}
