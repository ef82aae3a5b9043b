// File-system operations that understand paths longer than MAX_PATH.
// Ordinary failures come back as Windows error codes, never as exceptions.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "util/unique_handle.h"

// Walks FindFirstFileW/FindNextFileW over a pattern ("*.*" by default).
// "." and ".." are returned like any other entry; callers skip them.
class FolderEnumerator {
 public:
  explicit FolderEnumerator(const std::wstring& pattern = L"*.*");
  // Moves to the next entry; false at the end or on failure (see error()).
  bool Next();
  const WIN32_FIND_DATAW& data() const { return data_; }
  std::wstring Name() const { return data_.cFileName; }
  // Folder of the pattern, with its trailing separator, followed by the name.
  std::wstring FullPath() const { return folder_ + data_.cFileName; }
  bool IsFolder() const { return (data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  // ERROR_NO_MORE_FILES after a complete walk; the failure code otherwise.
  DWORD error() const { return error_; }

 private:
  std::wstring pattern_;
  std::wstring folder_;
  UniqueFind find_;
  WIN32_FIND_DATAW data_ = {};
  bool started_ = false;
  DWORD error_ = 0;
};

// 0 with the last-write time and the low 32 bits of the size, or a Windows
// error: 87 for an empty path, 3 for a short or relative one. A trailing
// backslash is ignored, so an existing "C:\folder\" is found.
DWORD GetFileInfo(const std::wstring& path, FILETIME* last_write, DWORD* size_low);
bool PathExists(const std::wstring& path);
// The size of an open file; false (GetLastError) when it cannot be read.
bool FileSize(HANDLE file, uint64_t* size);

// Creates every missing folder of path (the last component only when
// last_is_folder or path ends with a backslash). Folders it created are
// appended to created when given, in the long form when path needs it.
// Returns 0 or the Windows error of the level that failed; throws E_BOUNDS
// for a path without components.
DWORD CreateFolderTree(const std::wstring& path, bool last_is_folder,
                       std::vector<std::wstring>* created = nullptr);
// Deletes everything below folder; the folder itself stays for the caller.
// Links to other folders are removed, never followed; an empty path, or a
// folder that is itself a link, is left alone.
void DeleteFolderTree(const std::wstring& folder);
// DeleteFileW / RemoveDirectoryW with the long form from 260 characters on.
// On failure the thread's last error tells why.
bool DeleteFileLong(const std::wstring& path);
bool RemoveFolderLong(const std::wstring& path);

// A program that has just exited can hold its own file, or the folder it ran
// in, for a moment (Wine: about 300 ms; a virus scanner on Windows). These try
// again while the path is held by someone, until deadline_ms on the
// GetTickCount clock, so that one deadline bounds a whole cleanup. Any other
// failure (a folder that is not empty, a missing file) ends at once. True
// when the path was removed; on false the last error tells why.
bool DeleteFileWithRetry(const std::wstring& path, DWORD deadline_ms);
bool RemoveFolderWithRetry(const std::wstring& path, DWORD deadline_ms);
// How long a cleanup waits in all for held paths.
constexpr DWORD kHeldPathRetryMs = 3000;
