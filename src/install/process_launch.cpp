#include "install/process_launch.h"

#include <shellapi.h>

#include "util/com_apartment.h"
#include "util/decimal_text.h"
#include "util/path_text.h"
#include "util/system_library.h"
#include "util/wide_format.h"

bool ShellExecuteAndWait(const std::wstring& file, const std::wstring& parameters,
                         const std::wstring& folder, bool hide, uint32_t* exit_code) {
  const std::wstring target = FromLongPath(file);
  const std::wstring directory = folder.empty() ? FolderOf(target) : folder;
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.lpVerb = L"open";
  info.lpFile = target.c_str();
  info.lpParameters = OrNull(parameters);
  info.lpDirectory = OrNull(directory);
  info.nShow = hide ? SW_HIDE : SW_SHOWNORMAL;
  ScopedComApartment com;
  if (!ShellExecuteExW(&info)) {
    *exit_code = GetLastError();
    return false;
  }
  *exit_code = 0;
  if (info.hProcess) {
    UniqueKernelHandle process(info.hProcess);
    WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    *exit_code = code;
  }
  return true;
}

bool CreateProcessAndWait(const std::wstring& application, const std::wstring& command_line,
                          uint32_t creation_flags, uint32_t* exit_code) {
  std::wstring mutable_command = command_line;  // CreateProcessW may write into it
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(OrNull(application), command_line.empty() ? nullptr : &mutable_command[0],
                      nullptr, nullptr, FALSE, creation_flags, nullptr, nullptr, &startup,
                      &process)) {
    *exit_code = GetLastError();
    return false;
  }
  UniqueKernelHandle process_handle(process.hProcess), thread_handle(process.hThread);
  WaitForSingleObject(process_handle.get(), INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process_handle.get(), &code);
  *exit_code = code;
  return true;
}

UniqueKernelHandle ShellLaunch(const std::wstring& file, const std::wstring& parameters,
                               const std::wstring& folder, bool elevate) {
  std::wstring target = file;
  std::wstring arguments = parameters;
  if (elevate && (EndsWith(file, L".bat") || EndsWith(file, L".cmd"))) {
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    target = FormatW(L"%s\\System32\\cmd.exe", windows);
    arguments = FormatW(L"/C \"\"%s\" %s\"", file.c_str(), parameters.c_str());
  }
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.lpVerb = elevate ? L"runas" : L"open";
  info.lpFile = target.c_str();
  info.lpParameters = OrNull(arguments);
  info.lpDirectory = OrNull(folder);
  info.nShow = SW_SHOWNORMAL;
  if (elevate) info.hwnd = GetForegroundWindow();
  ScopedComApartment com;
  if (!ShellExecuteExW(&info)) {
    const INT_PTR shell_result = reinterpret_cast<INT_PTR>(info.hInstApp);
    if (shell_result != SE_ERR_NOASSOC && shell_result != SE_ERR_ASSOCINCOMPLETE) {
      return UniqueKernelHandle();
    }
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
    info.lpVerb = nullptr;
    if (!ShellExecuteExW(&info)) return UniqueKernelHandle();
  }
  if (!info.hProcess) return UniqueKernelHandle();
  using GetProcessIdFn = DWORD(WINAPI*)(HANDLE);
  auto get_process_id = reinterpret_cast<GetProcessIdFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"Kernel32.dll"), "GetProcessId")));
  if (get_process_id) AllowSetForegroundWindow(get_process_id(info.hProcess));
  return UniqueKernelHandle(info.hProcess);
}

namespace {
// Windows reserves these numbers for WinINet (INTERNET_ERROR_BASE on).
constexpr uint32_t kFirstWininetError = 12000;
constexpr uint32_t kLastWininetError = 12999;

// The text of code in the message table of module (the system's when null);
// empty when that table has none.
std::wstring MessageTableText(HMODULE module, uint32_t code) {
  wchar_t* text = nullptr;
  const DWORD source = module ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | source | FORMAT_MESSAGE_IGNORE_INSERTS, module, code,
      MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  if (length == 0 || !text) return {};
  std::wstring message(text, length);
  LocalFree(text);
  // The system's texts end with a line break, which would split a log line.
  while (!message.empty() &&
         (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' ')) {
    message.pop_back();
  }
  return message;
}
}  // namespace

std::wstring SystemMessageText(uint32_t code) {
  std::wstring text = MessageTableText(nullptr, code);
  if (text.empty() && code >= kFirstWininetError && code <= kLastWininetError) {
    // The library the downloads use, loaded from the system folder by full path.
    if (const WininetApi* wininet = WininetDll()) text = MessageTableText(wininet->module, code);
  }
  return text.empty() ? DecimalW(code) : text;
}
