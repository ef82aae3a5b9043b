#include "util/module_path.h"

#include <vector>

std::wstring GetModulePath(HMODULE module) {
  // Grows past MAX_PATH so that a deeply nested package still finds its files;
  // on Windows XP a cut-off name is not terminated, hence the explicit length.
  for (DWORD size = MAX_PATH; size <= 32768 * 2; size *= 2) {
    std::vector<wchar_t> buffer(size);
    SetLastError(0);
    DWORD length = GetModuleFileNameW(module, buffer.data(), size);
    if (length == 0) return std::wstring();
    if (length < size && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      return std::wstring(buffer.data(), length);
    }
  }
  return std::wstring();
}

namespace {
// Never destroyed: the log's last line is written after the static objects'
// destructors have run, and it may be the first to need the name.
std::wstring& ProgramPath() {
  static std::wstring* path = new std::wstring;
  return *path;
}
}  // namespace

void SetProgramPath(const std::wstring& path) { ProgramPath() = path; }

std::wstring GetProgramPath() {
  const std::wstring& path = ProgramPath();
  return path.empty() ? GetModulePath() : path;
}
