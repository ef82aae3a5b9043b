#include "detect/file_version.h"

#include <windows.h>

#include <vector>

#include "detect/version.h"
#include "detect/wow64_redirection.h"
#include "util/folder_properties.h"
#include "util/path_text.h"
#include "util/temp_folder.h"
#include "util/version_resource.h"
#include "util/wide_format.h"

namespace {
const wchar_t kNoVersion[] = L"0.0.0.0";

std::wstring VersionOf(const std::wstring& path) {
  uint32_t version_ms = 0, version_ls = 0;
  if (!ReadFixedFileVersion(path, &version_ms, &version_ls)) return kNoVersion;
  return FormatFileVersion(version_ms, version_ls);
}

bool IsInWindowsFolder(const std::wstring& path) {
  std::wstring windows;
  if (!ResolveFolderProperty(L"WindowsFolder", &windows, false) || windows.empty()) return false;
  windows = WithTrailingBackslash(windows);
  return path.size() > windows.size() &&
         EqualsIgnoreCaseAscii(path.substr(0, windows.size()), windows);
}

// A temporary file that is deleted with its owner.
class TemporaryCopy {
 public:
  ~TemporaryCopy() {
    if (!path_.empty()) DeleteFileW(path_.c_str());
  }
  // Copies source into a new "shim_clone" file in the temporary folder.
  bool Make(const std::wstring& source) {
    const std::wstring folder = GetTempFolder();
    wchar_t name[MAX_PATH] = {};
    if (folder.empty() || !GetTempFileNameW(folder.c_str(), L"shim_clone", 0, name)) return false;
    path_ = name;
    // The file may be one that only the 64-bit view of System32 holds.
    FsRedirectionOff redirection_off(true);
    return CopyFileW(ToLongPath(source).c_str(), path_.c_str(), FALSE) != FALSE;
  }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};
}  // namespace

std::wstring FormatFileVersion(uint32_t version_ms, uint32_t version_ls) {
  return NormalizeVersionText(FormatW(
      L"%d.%d.%d.%d", static_cast<int>(HIWORD(version_ms)), static_cast<int>(LOWORD(version_ms)),
      static_cast<int>(HIWORD(version_ls)), static_cast<int>(LOWORD(version_ls))));
}

std::wstring ReadFileVersionText(const std::wstring& path, bool clone_windows_files) {
  // Compatibility shims can make the version queries report another version
  // for the system's own files; a copy outside the Windows folder is not
  // shimmed.
  if (clone_windows_files && IsInWindowsFolder(FromLongPath(path))) {
    TemporaryCopy copy;
    if (copy.Make(path)) return VersionOf(copy.path());
    // Reading the file itself is better than reporting no version at all.
  }
  return VersionOf(ToLongPath(path));
}
