// raw_lookups COUNT FOLDER RUNS: the baseline of the detection benchmark. The
// bare system calls behind its searches, on the same keys and files:
// RegOpenKeyExW (+RegCloseKey) twice on each HKCU\Software\ChainerBench\P<n>,
// FindFirstFileW (+FindClose) on each FOLDER\p<n>a.dll and p<n>b.dll. Prints
//   registry CALLS MEDIAN_MS MICROSECONDS_PER_CALL
//   file CALLS MEDIAN_MS MICROSECONDS_PER_CALL
//   mixed CALLS MEDIAN_MS MICROSECONDS_PER_CALL
//   version CALLS MEDIAN_MS MICROSECONDS_PER_CALL
// The last line is a second, fairer baseline for the file searches: each file
// found and its version resource read (GetFileVersionInfoW, VerQueryValueW),
// which a file version search cannot do without.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {
double Median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fputs("usage: raw_lookups COUNT FOLDER RUNS\n", stderr);
    return 2;
  }
  const int count = _wtoi(argv[1]);
  const std::wstring folder = argv[2];
  const int runs = std::max(1, _wtoi(argv[3]));
  std::vector<std::wstring> keys, files;
  for (int n = 1; n <= count; ++n) {
    keys.push_back(L"Software\\ChainerBench\\P" + std::to_wstring(n));
    keys.push_back(keys.back());
    files.push_back(folder + L"\\p" + std::to_wstring(n) + L"a.dll");
    files.push_back(folder + L"\\p" + std::to_wstring(n) + L"b.dll");
  }
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  auto elapsed_ms = [&](const LARGE_INTEGER& begin) {
    LARGE_INTEGER end;
    QueryPerformanceCounter(&end);
    return 1000.0 * (end.QuadPart - begin.QuadPart) / frequency.QuadPart;
  };
  std::vector<double> registry_times, file_times;
  size_t misses = 0;
  for (int r = 0; r < runs; ++r) {
    LARGE_INTEGER begin;
    QueryPerformanceCounter(&begin);
    for (const std::wstring& path : keys) {
      HKEY key = nullptr;
      if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
      } else {
        ++misses;
      }
    }
    registry_times.push_back(elapsed_ms(begin));
    QueryPerformanceCounter(&begin);
    for (const std::wstring& path : files) {
      WIN32_FIND_DATAW data;
      HANDLE find = FindFirstFileW(path.c_str(), &data);
      if (find != INVALID_HANDLE_VALUE) {
        FindClose(find);
      } else {
        ++misses;
      }
    }
    file_times.push_back(elapsed_ms(begin));
  }
  std::vector<double> version_times;
  std::vector<BYTE> block;
  for (int r = 0; r < runs; ++r) {
    LARGE_INTEGER begin;
    QueryPerformanceCounter(&begin);
    for (const std::wstring& path : files) {
      WIN32_FIND_DATAW data;
      HANDLE find = FindFirstFileW(path.c_str(), &data);
      if (find == INVALID_HANDLE_VALUE) {
        ++misses;
        continue;
      }
      FindClose(find);
      DWORD handle = 0;
      const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
      block.resize(size ? size : 1);
      VS_FIXEDFILEINFO* info = nullptr;
      UINT length = 0;
      if (!size || !GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
          !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length)) {
        ++misses;
      }
    }
    version_times.push_back(elapsed_ms(begin));
  }
  if (misses) std::fprintf(stderr, "%u lookups found nothing\n", static_cast<unsigned>(misses));
  const double registry = Median(registry_times), file = Median(file_times);
  const unsigned calls = static_cast<unsigned>(keys.size());
  std::printf("registry %u %.2f %.2f\n", calls, registry, 1000.0 * registry / calls);
  std::printf("file %u %.2f %.2f\n", calls, file, 1000.0 * file / calls);
  std::printf("mixed %u %.2f %.2f\n", 2 * calls, registry + file,
              1000.0 * (registry + file) / (2 * calls));
  const double version = Median(version_times);
  std::printf("version %u %.2f %.2f\n", calls, version, 1000.0 * version / calls);
  return 0;
}
