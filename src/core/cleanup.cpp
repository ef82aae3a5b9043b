#include "core/cleanup.h"

#include <windows.h>

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
