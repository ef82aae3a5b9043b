#include "util/folder_properties.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "detect/registry_value.h"
#include "util/module_path.h"
#include "util/path_text.h"
#include "util/process_bitness.h"
#include "util/system_library.h"
#include "util/temp_folder.h"

namespace {
struct ShellFolder {
  const wchar_t* name;
  int csidl;
};
constexpr ShellFolder kShellFolders[] = {
    {L"ProgramFilesFolder", CSIDL_PROGRAM_FILES},
    {L"CommonFilesFolder", CSIDL_PROGRAM_FILES_COMMON},
    {L"DesktopFolder", CSIDL_DESKTOPDIRECTORY},
    {L"AllUsersDesktopFolder", CSIDL_COMMON_DESKTOPDIRECTORY},
    {L"AppDataFolder", CSIDL_APPDATA},
    {L"FavoritesFolder", CSIDL_FAVORITES},
    {L"StartMenuFolder", CSIDL_STARTMENU},
    {L"ProgramMenuFolder", CSIDL_PROGRAMS},
    {L"StartupFolder", CSIDL_STARTUP},
    {L"FontsFolder", CSIDL_FONTS},
    {L"LocalAppDataFolder", CSIDL_LOCAL_APPDATA},
    {L"CommonAppDataFolder", CSIDL_COMMON_APPDATA},
    {L"ProgramFiles", CSIDL_PROGRAM_FILES},
};

// The 32-bit program is given "Program Files (x86)" for these on 64-bit
// Windows; the 64-bit program has to ask for that folder by name.
int ShellFolderCsidl(int csidl, bool process_is_64bit) {
  if (!process_is_64bit) return csidl;
  if (csidl == CSIDL_PROGRAM_FILES) return CSIDL_PROGRAM_FILESX86;
  if (csidl == CSIDL_PROGRAM_FILES_COMMON) return CSIDL_PROGRAM_FILES_COMMONX86;
  return csidl;
}

// The same holds for the variables WOW64 sets to those folders: the 64-bit
// program reads their "(x86)" twins, which Windows sets in 64-bit processes.
std::wstring EnvironmentVariableName(const std::wstring& name, bool process_is_64bit) {
  if (!process_is_64bit) return name;
  if (EqualsIgnoreCaseAscii(name, L"ProgramFiles")) return L"ProgramFiles(x86)";
  if (EqualsIgnoreCaseAscii(name, L"CommonProgramFiles")) return L"CommonProgramFiles(x86)";
  return name;
}

using SHGetFolderPathWFn = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);

// True with the value of a defined variable (possibly empty text).
bool ReadEnvironmentVariable(const std::wstring& name, std::wstring* value) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    DWORD length =
        GetEnvironmentVariableW(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
      value->clear();
      return true;
    }
    if (length < buffer.size()) {
      value->assign(buffer.data(), length);
      return true;
    }
    buffer.resize(length + 1);  // the variable grew or needs more room
  }
}

std::wstring SystemDirectory() {
  wchar_t buffer[MAX_PATH] = {};
  UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

// shfolder.dll stays loaded for the life of the process once found.
SHGetFolderPathWFn ShFolderGetFolderPath() {
  static const SHGetFolderPathWFn function = []() -> SHGetFolderPathWFn {
    HMODULE module = LoadSystemLibrary(L"shfolder.dll");
    if (!module) return nullptr;
    return reinterpret_cast<SHGetFolderPathWFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "SHGetFolderPathW")));
  }();
  return function;
}

DWORD ShellLibraryMajorVersion(const wchar_t* name) {
  HMODULE module = GetModuleHandleW(name);
  if (!module) module = LoadSystemLibrary(name);  // kept: the answer is kept too
  if (!module) return 0;
  auto get_version = reinterpret_cast<DLLGETVERSIONPROC>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetVersion")));
  if (!get_version) return 0;
  DLLVERSIONINFO info = {};
  info.cbSize = sizeof(info);
  return SUCCEEDED(get_version(&info)) ? info.dwMajorVersion : 0;
}

bool IsOldShell() {
  static const bool old_shell = [] {
    DWORD major = ShellLibraryMajorVersion(L"shlwapi.dll");
    if (major == 0) major = ShellLibraryMajorVersion(L"shell32.dll");
    return major < 5;
  }();
  return old_shell;
}

bool ShellFolderPath(int csidl, std::wstring* path) {
  LPITEMIDLIST items = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &items)) || !items) return false;
  wchar_t buffer[MAX_PATH] = {};
  bool ok = SHGetPathFromIDListW(items, buffer) && buffer[0] != L'\0';
  IMalloc* allocator = nullptr;
  if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) {
    allocator->Free(items);
    allocator->Release();
  }
  if (!ok) return false;
  *path = WithTrailingBackslash(buffer);
  return true;
}

bool ShFolderPath(int csidl, std::wstring* path) {
  SHGetFolderPathWFn get_folder_path = ShFolderGetFolderPath();
  if (!get_folder_path) return false;
  wchar_t buffer[MAX_PATH] = {};
  if (FAILED(get_folder_path(nullptr, csidl, nullptr, 0, buffer)) || buffer[0] == L'\0') {
    return false;
  }
  // Callers append file names directly, as they do to the shell's answer.
  *path = WithTrailingBackslash(buffer);
  return true;
}

// Shells before version 5 know neither of the calls above for every folder;
// their setups left the answer in the environment.
bool OldShellFolderPath(const std::wstring& name, std::wstring* path) {
  const wchar_t* variable = nullptr;
  if (name == L"ProgramFilesFolder" || name == L"ProgramFiles") {
    variable = L"PROGRAMFILES";
  } else if (name == L"AppDataFolder") {
    variable = L"APPDATA";
  }
  std::wstring value;
  if (!variable || !ReadEnvironmentVariable(variable, &value) || value.empty()) return false;
  *path = WithTrailingBackslash(value);
  return true;
}

bool ResolveShellFolder(const std::wstring& name, int csidl, std::wstring* path) {
  if (ShellFolderPath(csidl, path)) return true;
  if (ShFolderPath(csidl, path)) return true;
  return IsOldShell() && OldShellFolderPath(name, path);
}

bool ResolveNamedShellFolder(const std::wstring& name, std::wstring* path) {
  for (const ShellFolder& folder : kShellFolders) {
    if (name == folder.name) {
      return ResolveShellFolder(name, ShellFolderCsidl(folder.csidl, kProcessIs64Bit), path);
    }
  }
  return false;
}

bool WindowsDirectory(std::wstring* path) {
  wchar_t buffer[MAX_PATH] = {};
  UINT length = GetWindowsDirectoryW(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  path->assign(buffer, length);
  return true;
}

const std::wstring& SetupExeDir() {
  static const std::wstring folder = [] {
    std::wstring module = GetProgramPath();
    return module.empty() ? std::wstring() : FolderOf(module) + L"\\";
  }();
  return folder;
}
}  // namespace

bool ResolveFolderProperty(const std::wstring& name, std::wstring* path, bool wow64) {
  if (name == L"ProgramFiles64Folder") {
    std::wstring value;
    // An empty variable is no folder: it would make "[ProgramFiles64Folder]x" a root path.
    if (ReadEnvironmentVariable(L"ProgramW6432", &value) && !value.empty()) {
      *path = WithTrailingBackslash(value);
      return true;
    }
    // The folder of the process's own bitness: the 64-bit one in the 64-bit
    // program, where the 32-bit program has no better answer.
    return ResolveShellFolder(L"ProgramFiles", CSIDL_PROGRAM_FILES, path);
  }
  if (name == L"SystemFolder") {
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, wow64 ? CSIDL_SYSTEM : CSIDL_SYSTEMX86, nullptr, 0,
                                buffer)) ||
        buffer[0] == L'\0') {
      return false;
    }
    *path = WithTrailingBackslash(buffer);
    return true;
  }
  if (name == L"System32Folder") {
    std::wstring folder = SystemDirectory();
    if (folder.empty()) return false;
    *path = folder;
    return true;
  }
  if (name == L"WindowsFolder") return WindowsDirectory(path);
  if (name == L"WindowsVolume") {
    std::wstring windows;
    if (!WindowsDirectory(&windows)) return false;
    *path = windows.substr(0, 3);
    return true;
  }
  if (name == L"TempFolder") {
    std::wstring temp = GetTempFolder();
    if (temp.empty()) return false;
    *path = temp;
    return true;
  }
  if (name == L"SETUPEXEDIR") {
    if (SetupExeDir().empty()) return false;
    *path = SetupExeDir();
    return true;
  }
  return ResolveNamedShellFolder(name, path);
}

std::wstring ExpandProperties(const std::wstring& text, bool wow64) {
  return ExpandReferences(
      text, [wow64](ReferenceKind kind, const std::wstring& name, std::wstring* value) {
        switch (kind) {
          case ReferenceKind::FolderProperty:
            return ResolveFolderProperty(name, value, wow64);
          case ReferenceKind::Environment:
            return ReadEnvironmentVariable(EnvironmentVariableName(name, kProcessIs64Bit), value);
          case ReferenceKind::Registry:
            return ReadRegistryValueText(name, wow64, value);
        }
        return false;
      });
}
