#include "core/config_path.h"

#include "util/path_text.h"

std::wstring ModuleFolder(const std::wstring& module_path) {
  return FolderOf(module_path);
}

std::wstring ConfigPathForModule(const std::wstring& module_path) {
  std::wstring folder = ModuleFolder(module_path);
  std::wstring name = FileNameOf(module_path);
  size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.erase(dot);
  return WithTrailingBackslash(folder) + name + L".ini";
}
