// The deleting half of the cleanup: runs while the application object is
// destroyed, after every worker thread has ended. Everything is best effort.
#include <windows.h>

#include "core/cleanup.h"
#include "install/process_launch.h"
#include "util/file_ops.h"
#include "util/path_text.h"
#include "util/temp_folder.h"
#include "util/unique_handle.h"

namespace {
// Entries in a folder, "." and ".." not counted; 0 for a file or no match.
size_t CountEntries(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  UniqueFind find(FindFirstFileW(ToLongPath(path + L"\\*").c_str(), &data));
  if (!find) return 0;
  size_t count = 0;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") ++count;
  } while (FindNextFileW(find.get(), &data));
  return count;
}

bool IsFolderPath(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(ToLongPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A fresh name in the temporary folder with the given extension: the system
// makes a unique "<prefix>XXXX.tmp", which is removed and renamed in text.
std::wstring UniqueTempPath(const wchar_t* prefix, const wchar_t* extension) {
  const std::wstring folder = GetTempFolder();
  wchar_t name[MAX_PATH + 1] = {};
  if (folder.empty() || !GetTempFileNameW(folder.c_str(), prefix, 0, name)) return std::wstring();
  DeleteFileW(name);
  std::wstring path = name;
  const size_t dot = path.rfind(L'.');
  if (dot != std::wstring::npos && dot > path.rfind(L'\\')) path.erase(dot);
  return path + extension;
}
}  // namespace

std::wstring FindPowerShell() {
  wchar_t system[MAX_PATH + 1] = {};
  const UINT length = GetSystemDirectoryW(system, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return std::wstring();
  const std::wstring path =
      WithTrailingBackslash(system) + L"WindowsPowerShell\\v1.0\\powershell.exe";
  return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES ? std::wstring() : path;
}

void DeleteCollectedFiles(const std::vector<std::wstring>& files,
                          const std::wstring& cleanup_folder) {
  for (const std::wstring& file : files) {
    DeleteFileLong(file);
    // A folder that still holds anything stays.
    for (const std::wstring& folder : FoldersToEmpty(file, cleanup_folder)) {
      RemoveFolderLong(folder);
    }
  }
}

void PruneScriptPaths(PowerShellCleanup* cleanup) {
  const std::vector<std::wstring> listed = cleanup->paths;
  for (const std::wstring& path : listed) {
    const size_t allowance = IsFolderPath(path) ? 1 : 0;
    if (CountEntries(path) > allowance) {
      auto& paths = cleanup->paths;
      for (auto it = paths.begin(); it != paths.end(); ++it) {
        if (*it == path) {
          paths.erase(it);
          break;
        }
      }
    }
  }
}

bool PowerShellCleanup::Run() const {
  if (paths.empty()) return true;
  // Without PowerShell no copy is made: it would only be left behind.
  const std::wstring powershell = FindPowerShell();
  const std::wstring copy = UniqueTempPath(L"CV_", L".ps1");
  if (powershell.empty() || copy.empty() || script.empty() ||
      !CopyFileW(ToLongPath(script).c_str(), ToLongPath(copy).c_str(), TRUE)) {
    return false;
  }
  if (ShellLaunch(powershell, PowerShellArguments(copy, paths, retry_count), FolderOf(script),
                  elevate)) {
    return true;
  }
  DeleteFileW(copy.c_str());
  return false;
}
