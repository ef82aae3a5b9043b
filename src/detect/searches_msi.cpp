// The Windows Installer searches: installed products by product or upgrade
// code, and components by their code.
#include <windows.h>

#include <msi.h>

#include <vector>

#include "detect/searches_internal.h"
#include "util/system_library.h"

namespace {
// A product code in braces and its terminator.
constexpr DWORD kProductCodeBuffer = 39;
// A value that keeps changing length between two queries is given up on.
constexpr int kMaxMsiQueries = 4;
const wchar_t kVersionString[] = L"VersionString";

bool ReadProductVersion(const wchar_t* product_code, std::wstring* version) {
  // The length query gets a buffer of no characters: it answers ERROR_MORE_DATA
  // with the length, not counting the terminator.
  const MsiApi* msi = MsiDll();
  if (!msi) return false;
  wchar_t none[1] = {};
  DWORD length = 0;
  UINT result = msi->MsiGetProductInfoW(product_code, kVersionString, none, &length);
  for (int query = 0; result == ERROR_MORE_DATA && query < kMaxMsiQueries; ++query) {
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    length = static_cast<DWORD>(buffer.size());
    result = msi->MsiGetProductInfoW(product_code, kVersionString, buffer.data(), &length);
    if (result == ERROR_SUCCESS) {
      version->assign(buffer.data(), length < buffer.size() ? length : buffer.size() - 1);
      return true;
    }
  }
  return false;
}
}  // namespace

void CollectProductVersion(const std::wstring& product_code, std::vector<std::wstring>* values) {
  std::wstring version;
  if (ReadProductVersion(product_code.c_str(), &version)) values->push_back(version);
}

void CollectRelatedProductVersions(const std::wstring& upgrade_code,
                                   std::vector<std::wstring>* values) {
  const MsiApi* msi = MsiDll();
  if (!msi) return;
  wchar_t product_code[kProductCodeBuffer] = {};
  for (DWORD index = 0;
       msi->MsiEnumRelatedProductsW(upgrade_code.c_str(), 0, index, product_code) == ERROR_SUCCESS;
       ++index) {
    std::wstring version;
    if (ReadProductVersion(product_code, &version)) values->push_back(version);
  }
}

bool IsComponentInstalled(const std::wstring& component_code) {
  const MsiApi* msi = MsiDll();
  if (!msi) return false;
  std::vector<wchar_t> path(MAX_PATH);
  DWORD length = static_cast<DWORD>(path.size());
  INSTALLSTATE state = msi->MsiLocateComponentW(component_code.c_str(), path.data(), &length);
  if (state == INSTALLSTATE_MOREDATA) {
    path.resize(static_cast<size_t>(length) + 1);
    length = static_cast<DWORD>(path.size());
    state = msi->MsiLocateComponentW(component_code.c_str(), path.data(), &length);
  }
  return state == INSTALLSTATE_LOCAL || state == INSTALLSTATE_SOURCE;
}
