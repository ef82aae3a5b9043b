// exitcode PROGRAM [FOLDER [ARGUMENTS]]: starts PROGRAM (from FOLDER unless it
// is "-") with ARGUMENTS appended to its command line as they are, waits for
// it and prints its exit code as a signed decimal number. Wine itself only
// passes the low 8 bits of an exit code to Linux; this passes all 32.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fputs("usage: exitcode PROGRAM [FOLDER [ARGUMENTS]]\n", stderr);
    return 2;
  }
  // With a folder, a relative program name is looked up there: the way to
  // start a program whose full path is longer than MAX_PATH.
  const wchar_t* folder = argc > 2 && std::wstring(argv[2]) != L"-" ? argv[2] : nullptr;
  if (folder) SetCurrentDirectoryW(folder);
  std::wstring command = L"\"" + std::wstring(argv[1]) + L"\"";
  if (argc > 3) command += L" " + std::wstring(argv[3]);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(argv[1], &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                      folder, &startup, &process)) {
    std::printf("start-failed %lu\n", GetLastError());
    std::fflush(stdout);
    return 3;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  std::printf("%ld\n", static_cast<long>(code));
  std::fflush(stdout);
  return 0;
}
