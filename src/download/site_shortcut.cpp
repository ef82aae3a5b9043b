#include "download/site_shortcut.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "util/com_apartment.h"
#include "util/temp_folder.h"
#include "util/unique_handle.h"

namespace {
std::string ToThreadAnsi(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(),
                                       static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size : 0, '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), static_cast<int>(text.size()), &out[0],
                        size, nullptr, nullptr);
  }
  return out;
}

// A unique ".url" file: the one GetTempFileNameW made, renamed; removed again
// when the rename fails.
std::wstring MakeShortcutFile() {
  const std::wstring folder = GetTempFolder();
  wchar_t made[MAX_PATH + 1] = {};
  if (folder.empty() || folder.size() > MAX_PATH - 14 ||
      GetTempFileNameW(folder.c_str(), L"URL", 0, made) == 0) {
    return {};
  }
  std::wstring shortcut = made;
  const size_t dot = shortcut.rfind(L'.');
  shortcut = (dot == std::wstring::npos ? shortcut : shortcut.substr(0, dot)) + L".url";
  if (!MoveFileW(made, shortcut.c_str())) {
    DeleteFileW(made);
    return {};
  }
  return shortcut;
}
}  // namespace

std::wstring OpenSiteShortcut(const std::wstring& url) {
  const std::wstring shortcut = MakeShortcutFile();
  if (shortcut.empty()) return {};
  const std::string text = "[InternetShortcut]\r\nURL=" + ToThreadAnsi(url) + "\r\n";
  {
    UniqueFile file(CreateFileW(shortcut.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return {};
    DWORD written = 0;
    if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size()) {
      return {};
    }
  }
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOASYNC;
  info.lpVerb = L"open";
  info.lpFile = shortcut.c_str();
  info.nShow = SW_SHOW;
  ScopedComApartment com;
  ShellExecuteExW(&info);
  return shortcut;
}
