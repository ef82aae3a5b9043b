// detection_bench COUNT FOLDER VERSIONED_FILE RUNS: the chainer's detection of
// COUNT prerequisites, timed inside the process (no start-up in the figure).
// Makes what the searches look for exist first: HKCU\Software\ChainerBench\P<n>
// with a Version value, and FOLDER\p<n>a.dll, p<n>b.dll (copies of a file with
// a version resource). Prints one line per configuration:
//   LABEL SEARCHES_RUN MEDIAN_MS MICROSECONDS_PER_SEARCH
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/chainer_config.h"
#include "core/ini_document.h"

namespace {
const wchar_t kBenchKey[] = L"Software\\ChainerBench";

bool MakeSearchTargets(int count, const std::wstring& folder, const std::wstring& versioned) {
  CreateDirectoryW(folder.c_str(), nullptr);
  for (int n = 1; n <= count; ++n) {
    const std::wstring key_path = std::wstring(kBenchKey) + L"\\P" + std::to_wstring(n);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key_path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
      return false;
    }
    const wchar_t version[] = L"1.2.3.4";
    RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                   sizeof(version));
    RegCloseKey(key);
    for (const wchar_t* suffix : {L"a.dll", L"b.dll"}) {
      const std::wstring file = folder + L"\\p" + std::to_wstring(n) + suffix;
      if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES &&
          !CopyFileW(versioned.c_str(), file.c_str(), FALSE)) {
        return false;
      }
    }
  }
  return true;
}

// The searches of prerequisite n: 'k' key exists, 'v' registry value with a
// version range, 'a'/'b' file version of one of its two files.
std::wstring SearchLines(int n, const std::wstring& kinds, const std::wstring& folder) {
  const std::wstring key = L"HKCU\\Software\\ChainerBench\\P" + std::to_wstring(n);
  std::wstring text;
  int k = 0;
  for (wchar_t kind : kinds) {
    const std::wstring number = std::to_wstring(++k);
    switch (kind) {
      case L'k':
        text += L"SearchType" + number + L"=5\r\nSearchString" + number + L"=" + key + L"\r\n";
        break;
      case L'v':
        text += L"SearchType" + number + L"=2\r\nSearchString" + number + L"=" + key +
                L"\\Version\r\nVerMin" + number + L"=1.0\r\n";
        break;
      default:
        text += L"SearchType" + number + L"=0\r\nSearchString" + number + L"=" + folder +
                L"\\p" + std::to_wstring(n) + kind + L".dll\r\nVerMin" + number + L"=1.0\r\n";
        break;
    }
  }
  return text;
}

std::wstring Configuration(int count, const std::wstring& kinds, const std::wstring& folder) {
  std::wstring text = L"[GeneralOptions]\r\nOptions=q\r\n[PREREQUISITES]\r\n";
  for (int n = 1; n <= count; ++n) {
    text += L"App" + std::to_wstring(n) + L"=P" + std::to_wstring(n) + L"\r\n";
  }
  for (int n = 1; n <= count; ++n) {
    text += L"[P" + std::to_wstring(n) + L"]\r\nSetupFile=p.exe\r\n" + SearchLines(n, kinds, folder);
  }
  return text;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 5) {
    std::fputs("usage: detection_bench COUNT FOLDER VERSIONED_FILE RUNS\n", stderr);
    return 2;
  }
  const int count = _wtoi(argv[1]);
  const std::wstring folder = argv[2];
  const int runs = std::max(1, _wtoi(argv[4]));
  if (!MakeSearchTargets(count, folder, argv[3])) {
    std::printf("setup failed: %lu\n", GetLastError());
    return 3;
  }
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  const struct {
    const char* label;
    const wchar_t* kinds;
  } configurations[] = {{"mixed", L"kvab"}, {"registry", L"kvkv"}, {"file", L"abab"}};
  for (const auto& c : configurations) {
    IniDocument document;
    document.Parse(Configuration(count, c.kinds, folder));
    ChainerConfig config;
    config.LoadConfiguration(document);
    std::vector<double> times;
    size_t searches = 0;
    for (int r = 0; r < runs; ++r) {
      for (Prerequisite& record : config.prerequisites) record.search_results.clear();
      LARGE_INTEGER begin, end;
      QueryPerformanceCounter(&begin);
      config.DetectAll();
      QueryPerformanceCounter(&end);
      times.push_back(1000.0 * (end.QuadPart - begin.QuadPart) / frequency.QuadPart);
      searches = 0;
      for (const Prerequisite& record : config.prerequisites) searches += record.search_results.size();
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    std::printf("%s %u %.2f %.2f\n", c.label, static_cast<unsigned>(searches), median,
                searches ? 1000.0 * median / searches : 0.0);
  }
  return 0;
}
