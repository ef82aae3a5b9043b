// plain_launcher shell|process FOLDER COUNT [ARGUMENTS]: starts
// FOLDER\setup1.exe to FOLDER\setup<COUNT>.exe one after the other, each with
// ARGUMENTS, and waits for each: the least any chain of the same setups can
// cost, the baseline that bench/chain.sh holds the chainer against. "shell"
// starts them the way the chainer must (ShellExecuteExW, "open", hidden),
// "process" with a bare CreateProcessW.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {
HANDLE StartWithShell(const std::wstring& program, const wchar_t* arguments) {
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = program.c_str();
  info.lpParameters = arguments;
  info.nShow = SW_HIDE;
  return ShellExecuteExW(&info) ? info.hProcess : nullptr;
}

HANDLE StartProcess(const std::wstring& program, const wchar_t* arguments) {
  std::wstring command = L"\"" + program + L"\"";
  if (arguments) command += L" " + std::wstring(arguments);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return nullptr;
  }
  CloseHandle(process.hThread);
  return process.hProcess;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fputs("usage: plain_launcher shell|process FOLDER COUNT [ARGUMENTS]\n", stderr);
    return 2;
  }
  const bool shell = std::wstring(argv[1]) == L"shell";
  const int count = _wtoi(argv[3]);
  const wchar_t* arguments = argc > 4 ? argv[4] : nullptr;
  CoInitialize(nullptr);  // as the chainer does: the shell may need COM
  for (int n = 1; n <= count; ++n) {
    const std::wstring program = std::wstring(argv[2]) + L"\\setup" + std::to_wstring(n) + L".exe";
    HANDLE process = shell ? StartWithShell(program, arguments) : StartProcess(program, arguments);
    if (!process) {
      std::printf("start failed: %lu\n", GetLastError());
      return 3;
    }
    WaitForSingleObject(process, INFINITE);
    CloseHandle(process);
  }
  return 0;
}
