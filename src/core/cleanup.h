// What is removed after the run: the files the configuration names, its own
// configuration file, and what a running process cannot remove itself (its
// executable and folders), which a detached PowerShell script takes over.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct PowerShellCleanup {
  std::vector<std::wstring> paths;  // no two equal ignoring letter case
  std::wstring script;              // the configuration's CleanupScript
  bool elevate = false;
  int32_t retry_count = 0;

  // Appends the path unless it is present already (letter case ignored).
  void AddPath(const std::wstring& path);
};

// The items of CleanupFiles (separated by U+0001, empty ones skipped).
std::vector<std::wstring> SplitCleanupFiles(const std::wstring& value);
// The executable's folders that the script may remove: from the executable's
// folder up to, not including, cleanup_folder. Empty unless the executable
// really lies below cleanup_folder (a trailing backslash on it is allowed).
std::vector<std::wstring> FoldersBelowCleanupFolder(const std::wstring& module_dir,
                                                    const std::wstring& cleanup_folder);
