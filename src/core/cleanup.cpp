#include "core/cleanup.h"

#include <windows.h>

#include "util/decimal_text.h"
#include "util/path_text.h"

void PowerShellCleanup::AddPath(const std::wstring& path) {
  for (const std::wstring& present : paths) {
    if (lstrcmpiW(present.c_str(), path.c_str()) == 0) return;
  }
  paths.push_back(path);
}

std::vector<std::wstring> SplitCleanupFiles(const std::wstring& value) {
  std::vector<std::wstring> items;
  size_t start = 0;
  while (start <= value.size()) {
    size_t end = value.find(L'\x0001', start);
    if (end == std::wstring::npos) end = value.size();
    if (end > start) items.push_back(value.substr(start, end - start));
    start = end + 1;
  }
  return items;
}

std::vector<std::wstring> FoldersBelowCleanupFolder(const std::wstring& module_dir,
                                                    const std::wstring& cleanup_folder) {
  std::vector<std::wstring> folders;
  std::wstring stop = cleanup_folder;
  while (!stop.empty() && stop.back() == L'\\') stop.pop_back();
  // Without a stop folder, or with one the executable is not inside, no folder
  // is ours to hand over: the walk would otherwise climb to the drive root.
  if (stop.empty() || !StartsWith(module_dir, stop + L"\\")) return folders;
  for (std::wstring folder = module_dir; folder != stop && folder.size() > stop.size();
       folder = FolderOf(folder)) {
    folders.push_back(folder);
  }
  return folders;
}

std::wstring PowerShellSingleQuoted(const std::wstring& text) {
  // PowerShell ends a single-quoted string at the ASCII quote and at the four
  // typographic ones (U+2018 to U+201B) alike, and reads any of them doubled
  // as that one character: a profile folder named O'Neil with a typographic
  // apostrophe would otherwise end the string and the rest would run as code.
  std::wstring quoted = L"'";
  for (wchar_t c : text) {
    if (c == L'\'' || (c >= 0x2018 && c <= 0x201B)) quoted += c;
    quoted += c;
  }
  return quoted + L"'";
}

std::wstring PowerShellArguments(const std::wstring& script_copy,
                                 const std::vector<std::wstring>& paths, int32_t retry_count) {
  std::wstring array;
  for (const std::wstring& path : paths) {
    if (!array.empty()) array += L',';
    array += PowerShellSingleQuoted(path);
  }
  // The call operator with a quoted path: a temporary folder with a blank in
  // it (a user name, "Documents and Settings") must not split the command.
  return L"-NoProfile -NonInteractive -NoLogo -ExecutionPolicy RemoteSigned -Command \"& " +
         PowerShellSingleQuoted(script_copy) + L" -paths " + array + L" -retry_count " +
         DecimalW(retry_count) + L"\"";
}

std::vector<std::wstring> FoldersToEmpty(const std::wstring& file,
                                         const std::wstring& cleanup_folder) {
  std::vector<std::wstring> folders;
  std::wstring stop = cleanup_folder;
  while (!stop.empty() && stop.back() == L'\\') stop.pop_back();
  if (stop.empty() || !StartsWith(file, stop + L"\\")) return folders;
  for (std::wstring folder = FolderOf(file);
       folder.size() > stop.size() && folder.find(L'\\') != std::wstring::npos;
       folder = FolderOf(folder)) {
    folders.push_back(folder);
  }
  return folders;
}
