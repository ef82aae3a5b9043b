// Helpers shared by the search tests.
#pragma once
#include <windows.h>

#include <string>

#include "core/chainer_config.h"
#include "detect/prerequisite.h"
#include "detect/searches_platform.h"
#include "util/module_path.h"
#include "util/path_text.h"

inline SearchEntry MakeSearch(int32_t type, const std::wstring& text,
                              const std::wstring& ver_min = L"", const std::wstring& ver_max = L"",
                              const std::wstring& ref_content = L"") {
  SearchEntry search;
  search.type = type;
  search.search_string = text;
  search.ver_min = ver_min;
  search.ver_max = ver_max;
  search.ref_content = ref_content;
  return search;
}

inline SearchPlatform Platform(bool windows_64bit, bool windows10 = false) {
  SearchPlatform platform;
  platform.windows_64bit = windows_64bit;
  platform.windows10_or_later = windows10;
  return platform;
}

inline SearchResult RunOn(const SearchEntry& search, bool wow64, const SearchPlatform& platform) {
  ChainerConfig config;
  return RunSearchOn(search, wow64, config, platform);
}

// build/tests/unit_detect.exe -> build/<relative>
inline std::wstring BuildPath(const std::wstring& relative) {
  return FolderOf(FolderOf(GetModulePath())) + L"\\" + relative;
}

inline bool CopyInto(const std::wstring& target) {
  return CopyFileW(BuildPath(L"tools\\versioned.exe").c_str(), target.c_str(), FALSE) != FALSE;
}
