// The file search: a path, a path with a depth of subfolders to look
// through ("C:\App\app.exe?2"), or a bare file name looked for at the root of
// every fixed drive. The first file found ends the search; its version is
// what the search collects.
#include <windows.h>

#include <climits>
#include <memory>
#include <vector>

#include "detect/file_version.h"
#include "detect/searches_internal.h"
#include "detect/wow64_redirection.h"
#include "util/file_ops.h"
#include "util/folder_properties.h"
#include "util/path_text.h"

namespace {
// What GetLogicalDriveStringsW is asked first; room for 24 drives.
constexpr DWORD kDriveBuffer = 100;

// The depth after the "?": leading decimal digits, saturating; a negative
// number or anything that is not a number counts as 0.
int ParseDepth(const std::wstring& text) {
  size_t i = text.find_first_not_of(L" \t");
  if (i == std::wstring::npos || text[i] == L'-') return 0;
  if (text[i] == L'+') ++i;
  long long depth = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    depth = depth * 10 + (text[i] - L'0');
    if (depth > INT_MAX) return INT_MAX;
  }
  return static_cast<int>(depth);
}

// A name without any folder or reference in it.
bool IsBareName(const std::wstring& path) {
  return path.find_first_of(L"\\]%!") == std::wstring::npos;
}

std::vector<std::wstring> FixedDriveRoots() {
  std::vector<wchar_t> buffer(kDriveBuffer, L'\0');
  DWORD length = GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length >= buffer.size()) {  // more drives than the first buffer holds
    buffer.assign(static_cast<size_t>(length) + 2, L'\0');
    length = GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
  }
  std::vector<std::wstring> roots;
  if (length == 0 || length >= buffer.size()) return roots;
  for (size_t start = 0; start < length && buffer[start] != L'\0';) {
    const std::wstring root(buffer.data() + start);
    if (GetDriveTypeW(root.c_str()) == DRIVE_FIXED) roots.push_back(root);
    start += root.size() + 1;
  }
  return roots;
}

// The first entry matching name directly in folder (which ends with "\").
bool FindInFolder(const std::wstring& folder, const std::wstring& name, std::wstring* found) {
  WIN32_FIND_DATAW data;
  UniqueFind find(FindFirstFileW(ToLongPath(folder + name).c_str(), &data));
  if (!find) return false;
  *found = folder + data.cFileName;
  return true;
}

// A subfolder to descend into. Links to other folders (junctions, symbolic
// links) are never followed: a link back to a parent would make the walk
// endless.
bool IsWalkableFolder(const WIN32_FIND_DATAW& data) {
  if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
  const std::wstring name = data.cFileName;
  return name != L"." && name != L"..";
}

// One open folder of the walk.
struct WalkLevel {
  WalkLevel(const std::wstring& folder_path, int levels_below)
      : folder(folder_path), depth(levels_below), entries(folder_path + L"*") {}
  std::wstring folder;  // ends with "\"
  int depth;            // how many levels of subfolders may still be searched
  FolderEnumerator entries;
};

// Looks for name in folder and, depth levels deep, in its subfolders in
// enumeration order, each subfolder searched completely before the next.
// Kept iterative so that a deep tree cannot exhaust the stack.
bool SearchFolder(std::wstring folder, int depth, const std::wstring& name, std::wstring* found) {
  if (folder.empty() || folder.back() != L'\\') folder += L'\\';
  if (FindInFolder(folder, name, found)) return true;
  std::vector<std::unique_ptr<WalkLevel>> levels;
  if (depth > 0) levels.push_back(std::make_unique<WalkLevel>(folder, depth));
  while (!levels.empty()) {
    WalkLevel& level = *levels.back();
    if (!level.entries.Next()) {
      levels.pop_back();
      continue;
    }
    if (!IsWalkableFolder(level.entries.data())) continue;
    const std::wstring subfolder = level.folder + level.entries.Name() + L"\\";
    if (FindInFolder(subfolder, name, found)) return true;
    if (level.depth > 1) levels.push_back(std::make_unique<WalkLevel>(subfolder, level.depth - 1));
  }
  return false;
}
}  // namespace

void CollectFileVersion(const std::wstring& search_string, bool wow64, bool clone_windows_files,
                        std::vector<std::wstring>* values) {
  // A "?" in the first place belongs to the name (a wildcard), not the depth.
  const size_t mark = search_string.find(L'?', 1);
  const std::wstring path = search_string.substr(0, mark);
  const int depth = mark == std::wstring::npos ? 0 : ParseDepth(search_string.substr(mark + 1));

  std::vector<std::wstring> candidates;
  if (IsBareName(path)) {
    for (const std::wstring& root : FixedDriveRoots()) candidates.push_back(root + path);
  } else {
    candidates.push_back(path);
  }
  // Resolved before redirection goes off: resolving can load system
  // libraries, and a 32-bit process must get them from its own System32.
  for (std::wstring& candidate : candidates) candidate = ExpandProperties(candidate, wow64);

  FsRedirectionOff redirection_off(wow64);
  for (const std::wstring& candidate : candidates) {
    const size_t cut = candidate.rfind(L'\\');
    const std::wstring folder =
        cut == std::wstring::npos ? std::wstring() : candidate.substr(0, cut);
    const std::wstring name = candidate.substr(cut == std::wstring::npos ? 0 : cut + 1);
    if (name.empty()) continue;  // nothing to look for
    std::wstring found;
    if (SearchFolder(folder, depth, name, &found)) {
      values->push_back(ReadFileVersionText(found, clone_windows_files));
      return;
    }
  }
}
