// unpack200_stub: stands in for a Java runtime's unpack200.exe (the tests copy
// it under that name into a jre\bin folder). Appends its command line, UTF-16
// as given, one per line, to "<its folder>\calls.txt"; then, like the real
// tool, reads --log-file="L" --remove-pack-file "P" "J" and writes J from P
// and removes P. A pack file whose name contains "broken" is refused: the
// reason goes to L and the exit code is 1.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
  wchar_t self[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring record = self;
  record = record.substr(0, record.rfind(L'\\')) + L"\\calls.txt";
  if (FILE* calls = _wfopen(record.c_str(), L"ab")) {
    std::fprintf(calls, "%ls\n", GetCommandLineW());
    std::fclose(calls);
  }
  if (argc < 3) return 2;
  std::wstring log;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg.compare(0, 11, L"--log-file=") == 0) log = arg.substr(11);
  }
  const std::wstring pack = argv[argc - 2];
  const std::wstring jar = argv[argc - 1];
  if (pack.find(L"broken") != std::wstring::npos) {
    if (FILE* out = _wfopen(log.c_str(), L"wb")) {
      std::fputs("corrupt pack file", out);
      std::fclose(out);
    }
    return 1;
  }
  if (!CopyFileW(pack.c_str(), jar.c_str(), TRUE)) return 3;
  DeleteFileW(pack.c_str());
  return 0;
}
