#include "platform/core/clean_room_command.h"

namespace {
const wchar_t kSwitch[] = L" /CleanRoomOriginal=\"";

bool IsFullPath(const std::wstring& path) {
  const bool drive = path.size() >= 3 && path[1] == L':' && path[2] == L'\\' &&
                     ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
  const bool unc = path.size() > 2 && path[0] == L'\\' && path[1] == L'\\';
  return drive || unc;
}
}  // namespace

std::wstring CleanRoomCommandLine(const std::wstring& command_line, const std::wstring& original) {
  return command_line + kSwitch + original + L"\"";
}

bool FindCleanRoomOriginal(const std::wstring& command_line, std::wstring* original) {
  const size_t at = command_line.rfind(kSwitch);
  if (at == std::wstring::npos || command_line.back() != L'"') return false;
  const size_t start = at + (sizeof(kSwitch) / sizeof(kSwitch[0]) - 1);
  if (start >= command_line.size()) return false;
  std::wstring path = command_line.substr(start, command_line.size() - 1 - start);
  if (path.find(L'"') != std::wstring::npos || !IsFullPath(path)) return false;
  *original = path;
  return true;
}
