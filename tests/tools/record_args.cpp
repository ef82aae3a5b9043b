// record_args: stands in for a program the chainer starts without waiting
// (PowerShell for the cleanup script). Appends its working folder and command
// line, UTF-8, one "folder|command line" per start, to "<its path>.calls.txt".
#include <windows.h>

#include <cstdio>
#include <string>

namespace {
std::string Utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size - 1 : 0, '\0');
  if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
  return out;
}
}  // namespace

int wmain() {
  wchar_t self[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  wchar_t folder[MAX_PATH + 1] = {};
  GetCurrentDirectoryW(MAX_PATH, folder);
  const std::string line = Utf8(folder) + "|" + Utf8(GetCommandLineW()) + "\n";
  FILE* out = _wfopen((std::wstring(self) + L".calls.txt").c_str(), L"ab");
  if (!out) return 1;
  std::fwrite(line.data(), 1, line.size(), out);
  std::fclose(out);
  return 0;
}
