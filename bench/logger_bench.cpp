// The price of the log's durability: lines per second of Logger::Write, which
// writes every piece of a line on its own and flushes it to disk, beside the
// same number of lines written with one plain WriteFile each and no flush.
// Usage: logger_bench [lines] [folder]; the folder defaults to the temporary one.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/core/logger.h"
#include "util/unique_handle.h"
#include "util/wide_format.h"

namespace {
double Seconds(const LARGE_INTEGER& start, const LARGE_INTEGER& end) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
}

LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now;
}

// A line as the detection writes them.
std::wstring LineText(int n) {
  return FormatW(L"Searching for:Prerequisite %d HKLM\\Software\\Bench\\P%d\\V1", n, n);
}

double LoggerLinesPerSecond(const std::wstring& path, int lines) {
  Logger logger;
  logger.SetLogFile(path);
  logger.Write(L"opening");  // the header is not part of the measurement
  LARGE_INTEGER start = Now();
  for (int n = 0; n < lines; ++n) logger.Write(LineText(n));
  return lines / Seconds(start, Now());
}

double PlainLinesPerSecond(const std::wstring& path, int lines) {
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 0;
  LARGE_INTEGER start = Now();
  for (int n = 0; n < lines; ++n) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::wstring line = FormatW(L"%04d-%02d-%02d %02d-%02d-%02d-", now.wYear, now.wMonth, now.wDay,
                                now.wHour, now.wMinute, now.wSecond) +
                        LineText(n) + L"\r\n";
    DWORD written = 0;
    WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written,
              nullptr);
  }
  return lines / Seconds(start, Now());
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int lines = argc > 1 ? _wtoi(argv[1]) : 1000;
  std::wstring folder;
  if (argc > 2) {
    folder = argv[2];
  } else {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    folder = temp;
  }
  if (lines <= 0 || folder.empty()) {
    fwprintf(stderr, L"usage: logger_bench [lines] [folder]\n");
    return 2;
  }
  if (folder.back() != L'\\') folder += L'\\';
  const std::wstring logger_path = folder + L"logger_bench_logger.log";
  const std::wstring plain_path = folder + L"logger_bench_plain.log";
  DeleteFileW(logger_path.c_str());

  double logger_rate = LoggerLinesPerSecond(logger_path, lines);
  double plain_rate = PlainLinesPerSecond(plain_path, lines);
  DeleteFileW(logger_path.c_str());
  DeleteFileW(plain_path.c_str());

  wprintf(L"%-52ls %14ls\n", L"lines written", L"lines/s");
  wprintf(L"%-52ls %14.0f\n", L"Logger::Write (4 writes, each flushed, per line)", logger_rate);
  wprintf(L"%-52ls %14.0f\n", L"WriteFile, one per line, no flush", plain_rate);
  wprintf(L"ratio: plain writes are %.1fx faster than Logger::Write (%d lines each)\n",
          logger_rate > 0 ? plain_rate / logger_rate : 0.0, lines);
  return 0;
}
