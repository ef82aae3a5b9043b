#include "util/version_resource.h"

#include <windows.h>

#include <vector>

#include "util/system_library.h"
#include "util/wide_format.h"

bool QueryVersionString(const std::wstring& path, const wchar_t* name, std::wstring* value) {
  const VersionApi* api = VersionDll();
  if (!api) return false;
  DWORD ignored = 0;
  DWORD size = api->GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<BYTE> block(size);
  if (!api->GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return false;

  WORD language = 1033, code_page = 1250;
  struct Translation {
    WORD language;
    WORD code_page;
  }* translations = nullptr;
  UINT length = 0;
  if (api->VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                          reinterpret_cast<void**>(&translations), &length) &&
      length >= sizeof(Translation)) {
    language = translations[0].language;
    code_page = translations[0].code_page;
  }
  std::wstring query = FormatW(L"\\StringFileInfo\\%04x%04x\\%s", language, code_page, name);
  wchar_t* text = nullptr;
  if (!api->VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length) ||
      !text || length == 0 || text[0] == 0) {
    return false;
  }
  // length counts characters including the terminator for string values.
  value->assign(text);
  return true;
}

bool ReadProductName(const std::wstring& path, std::wstring* name) {
  return QueryVersionString(path, L"ProductName", name);
}

bool ReadFixedFileVersion(const std::wstring& path, uint32_t* ms, uint32_t* ls) {
  const VersionApi* api = VersionDll();
  if (!api) return false;
  DWORD ignored = 0;
  const DWORD size = api->GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<BYTE> block(size);
  if (!api->GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return false;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!api->VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
      !fixed || length < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  *ms = fixed->dwFileVersionMS;
  *ls = fixed->dwFileVersionLS;
  return true;
}
