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
  // Starts PowerShell, without waiting, on a temporary copy of the script with
  // the paths. True when there are no paths; false when the copy failed (then
  // nothing starts) or PowerShell could not be started.
  bool Run() const;
};

// The text as a PowerShell single-quoted string: every quote character that
// PowerShell ends such a string at (' and U+2018 to U+201B) doubled, so no
// character of the text can end the literal and add commands.
std::wstring PowerShellSingleQuoted(const std::wstring& text);
// PowerShell's arguments for the copy of the script: the paths as an array
// literal of PowerShellSingleQuoted strings.
std::wstring PowerShellArguments(const std::wstring& script_copy,
                                 const std::vector<std::wstring>& paths, int32_t retry_count);
// The full path of powershell.exe in the system folder, or empty.
std::wstring FindPowerShell();

// The folders to try to remove, deepest first, once a collected file is gone:
// its folder and the folders above it, up to but not including the cleanup
// folder. None when the file is not below the cleanup folder or there is no
// cleanup folder (the walk would otherwise reach folders that are not ours).
std::vector<std::wstring> FoldersToEmpty(const std::wstring& file,
                                         const std::wstring& cleanup_folder);
// Deletes each file (best effort) and removes the folders that became empty.
void DeleteCollectedFiles(const std::vector<std::wstring>& files,
                          const std::wstring& cleanup_folder);
// Leaves to the script only what it can remove once this process has ended:
// files, and folders that hold at most one entry (the next folder of the
// chain, or the executable).
void PruneScriptPaths(PowerShellCleanup* cleanup);

// The items of CleanupFiles (separated by U+0001, empty ones skipped).
std::vector<std::wstring> SplitCleanupFiles(const std::wstring& value);
// The executable's folders that the script may remove: from the executable's
// folder up to, not including, cleanup_folder. Empty unless the executable
// really lies below cleanup_folder (a trailing backslash on it is allowed).
std::vector<std::wstring> FoldersBelowCleanupFolder(const std::wstring& module_dir,
                                                    const std::wstring& cleanup_folder);
