#include "util/file_ops.h"

#include "platform/core/exceptions.h"
#include "util/path_text.h"

namespace {
constexpr size_t kMaxPatternLength = 32766;

// The form to hand to the file APIs: the path unchanged below MAX_PATH,
// the long form from there on. A relative path stays as it is: "\\?\" in
// front of it would name nothing.
std::wstring ForFileApi(const std::wstring& path) {
  if (path.size() < MAX_PATH || HasLongPrefix(path)) return path;
  if (StartsWithTwoBackslashes(path)) return kLongUncPrefix + path.substr(2);
  if (IsDriveAbsolute(path)) return kLongPrefix + path;
  return path;
}

// "C:\a\" as "C:\a"; a drive's root keeps its backslash.
std::wstring WithoutTrailingBackslashes(std::wstring path) {
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return path;
}

bool IsLinkedFolder(const std::wstring& path) {
  const std::wstring name = ForFileApi(WithoutTrailingBackslashes(path));
  const DWORD attributes = GetFileAttributesW(name.c_str());
  const DWORD link = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & link) == link;
}

void ClearReadOnly(const std::wstring& path, DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    SetFileAttributesW(ForFileApi(path).c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
}
}  // namespace

FolderEnumerator::FolderEnumerator(const std::wstring& pattern) : pattern_(pattern) {
  if (pattern_.size() >= MAX_PATH && pattern_.size() <= kMaxPatternLength) {
    pattern_ = ForFileApi(pattern_);
  }
}

bool FolderEnumerator::Next() {
  if (!started_) {
    started_ = true;
    if (pattern_.size() > kMaxPatternLength) {
      error_ = ERROR_FILENAME_EXCED_RANGE;
      return false;
    }
    find_.reset(FindFirstFileW(pattern_.c_str(), &data_));
    if (!find_) {
      error_ = GetLastError();
      return false;
    }
    DWORD needed = GetFullPathNameW(pattern_.c_str(), 0, nullptr, nullptr);
    std::wstring full(needed, L'\0');
    DWORD length = needed ? GetFullPathNameW(pattern_.c_str(), needed, &full[0], nullptr) : 0;
    full.resize(length < needed ? length : 0);
    size_t cut = full.find_last_of(L"\\/");
    folder_ = cut == std::wstring::npos ? std::wstring() : full.substr(0, cut + 1);
    return true;
  }
  if (!find_) return false;
  if (!FindNextFileW(find_.get(), &data_)) {
    error_ = GetLastError();
    find_.reset();
    return false;
  }
  return true;
}

bool FileSize(HANDLE file, uint64_t* size) {
  LARGE_INTEGER value;
  if (!GetFileSizeEx(file, &value)) return false;
  *size = static_cast<uint64_t>(value.QuadPart);
  return true;
}

DWORD GetFileInfo(const std::wstring& path, FILETIME* last_write, DWORD* size_low) {
  if (path.empty()) return ERROR_INVALID_PARAMETER;
  if (path.size() < 2 || !(IsDriveAbsolute(path) || StartsWithTwoBackslashes(path))) {
    return ERROR_PATH_NOT_FOUND;
  }
  // FindFirstFileW finds nothing for "C:\folder\", yet the folder is there.
  WIN32_FIND_DATAW data;
  UniqueFind find(FindFirstFileW(ForFileApi(WithoutTrailingBackslashes(path)).c_str(), &data));
  if (!find) return GetLastError();
  if (last_write) *last_write = data.ftLastWriteTime;
  if (size_low) *size_low = data.nFileSizeLow;
  return 0;
}

bool PathExists(const std::wstring& path) {
  return GetFileInfo(path, nullptr, nullptr) == 0;
}

DWORD CreateFolderTree(const std::wstring& path, bool last_is_folder,
                       std::vector<std::wstring>* created) {
  if (PathExists(path)) return 0;
  std::wstring target = path;
  NormalizeSlashes(&target);  // "C:/a/b" would otherwise be one component
  // A trailing separator leaves no file name: every component is a folder.
  if (!target.empty() && target.back() == L'\\') last_is_folder = true;
  std::vector<std::wstring> components;
  SplitPath(ToLongPath(target), &components);
  if (components.empty())
    THROW_HRESULT(kErrorBounds, L"CreateFolderTree: a path without components");

  // The drive ("C:") and the server ("\\server") are never created. A path
  // rooted at "\" or relative to the current folder has no such level, so
  // its first component is created too.
  const std::wstring plain = FromLongPath(target);
  const bool unc = StartsWithTwoBackslashes(plain);
  const bool rooted = !plain.empty() && plain[0] == L'\\';
  const size_t first = IsDriveAbsolute(plain) || unc ? 1 : 0;
  const size_t levels = components.size() - (last_is_folder ? 0 : 1);
  std::wstring current = first ? components[0] : std::wstring();
  std::vector<std::wstring> made;  // what this call created, for the undo below
  DWORD last_error = 0;
  for (size_t i = first; i < levels; ++i) {
    if (i > 0 || rooted) current += L'\\';
    current += components[i];
    if (CreateDirectoryW(ForFileApi(current).c_str(), nullptr)) {
      last_error = 0;
      made.push_back(current);
      if (created) created->push_back(current);
      continue;
    }
    last_error = GetLastError();
    if (last_error == ERROR_ALREADY_EXISTS || unc) continue;
    // Undo the level made just before, but only when this call made it:
    // a folder that was there already is never ours to remove.
    if (!made.empty() && made.back() == FolderOf(current)) {
      if (RemoveFolderLong(made.back()) && created) created->pop_back();
      SetLastError(last_error);
    }
    break;
  }
  return last_error == ERROR_ALREADY_EXISTS ? 0 : last_error;
}

void DeleteFolderTree(const std::wstring& folder) {
  // "" + "*" would walk the current folder. A folder that is itself a link
  // is the caller's to remove; what it points to is not ours.
  if (folder.empty() || IsLinkedFolder(folder)) return;
  FolderEnumerator entries(WithTrailingBackslash(folder) + L"*");
  while (entries.Next()) {
    const std::wstring name = entries.Name();
    if (name == L"." || name == L"..") continue;
    const std::wstring full = WithTrailingBackslash(folder) + name;
    const DWORD attributes = entries.data().dwFileAttributes;
    if (entries.IsFolder()) {
      // A junction or symbolic link leads outside the tree: remove the link only.
      if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) DeleteFolderTree(full);
      ClearReadOnly(full, attributes);
      RemoveFolderLong(full);
    } else {
      ClearReadOnly(full, attributes);
      DeleteFileLong(full);
    }
  }
}

bool DeleteFileLong(const std::wstring& path) {
  return DeleteFileW(ForFileApi(path).c_str()) != FALSE;
}

bool RemoveFolderLong(const std::wstring& path) {
  return RemoveDirectoryW(ForFileApi(path).c_str()) != FALSE;
}

namespace {
bool HeldByAnother(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

bool RemoveWithRetry(const std::wstring& path, DWORD deadline_ms,
                     bool (*remove)(const std::wstring&)) {
  while (!remove(path)) {
    const DWORD error = GetLastError();
    // Signed difference: the tick count may wrap between start and deadline.
    if (!HeldByAnother(error) || static_cast<LONG>(GetTickCount() - deadline_ms) >= 0) {
      SetLastError(error);
      return false;
    }
    Sleep(50);
  }
  return true;
}
}  // namespace

bool DeleteFileWithRetry(const std::wstring& path, DWORD deadline_ms) {
  return RemoveWithRetry(path, deadline_ms, &DeleteFileLong);
}

bool RemoveFolderWithRetry(const std::wstring& path, DWORD deadline_ms) {
  return RemoveWithRetry(path, deadline_ms, &RemoveFolderLong);
}
