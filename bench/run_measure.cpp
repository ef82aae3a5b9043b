// run_measure RUNS PROGRAM [ARGUMENTS]: starts PROGRAM (with ARGUMENTS appended
// to its command line) RUNS times, one after the other, and
// prints the median wall time in milliseconds and the largest peak working set
// and peak private bytes (KiB) that Windows reports for it.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fputs("usage: run_measure RUNS PROGRAM [ARGUMENTS]\n", stderr);
    return 2;
  }
  const int runs = _wtoi(argv[1]);
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::vector<double> times;
  SIZE_T peak_working_set = 0, peak_private = 0;
  for (int i = 0; i < runs; ++i) {
    std::wstring command = L"\"" + std::wstring(argv[2]) + L"\"";
    if (argc > 3) command += L" " + std::wstring(argv[3]);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    LARGE_INTEGER begin, end;
    QueryPerformanceCounter(&begin);
    if (!CreateProcessW(argv[2], &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
      std::printf("start failed: %lu\n", GetLastError());
      return 3;
    }
    // Sampled while the program runs too: Wine may not report the counters of
    // a process that has ended.
    do {
      PROCESS_MEMORY_COUNTERS counters = {};
      counters.cb = sizeof(counters);
      if (GetProcessMemoryInfo(process.hProcess, &counters, sizeof(counters))) {
        peak_working_set = std::max(peak_working_set, counters.PeakWorkingSetSize);
        peak_private = std::max(peak_private, counters.PeakPagefileUsage);
      }
    } while (WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT);
    QueryPerformanceCounter(&end);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    times.push_back(1000.0 * (end.QuadPart - begin.QuadPart) / frequency.QuadPart);
  }
  std::sort(times.begin(), times.end());
  // 0 means "not reported", not "no memory".
  std::printf("%.1f %lu %lu\n", times[times.size() / 2],
              static_cast<unsigned long>(peak_working_set / 1024),
              static_cast<unsigned long>(peak_private / 1024));
  return 0;
}
