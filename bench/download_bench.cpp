// The two Windows sides of bench/download.sh, each timed from outside:
//   download_bench engine URL TARGET [EXPECTED_SIZE]
//     what the chainer's download job does with one file: the transfer engine
//     (no sink, as in a silent run) hashing the bytes as they arrive, then
//     the MD5 the check compares (read from the file only when the engine
//     has none); prints "md5 <digest> transfer <s> digest <s>".
//   download_bench wininet URL TARGET
//     the baseline: a plain synchronous WinINet loop with the engine's
//     51,200-byte buffer writing the file; prints "wininet <s>".
// Exit status 0 on success, 1 on a failure (printed with its code).
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "download/file_digest.h"
#include "download/file_downloader.h"
#include "util/unique_handle.h"

namespace {

constexpr DWORD kBufferSize = 51200;

double Seconds(const LARGE_INTEGER& start) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart - start.QuadPart) / frequency.QuadPart;
}

int Engine(const std::wstring& url, const std::wstring& target, uint64_t expected) {
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  FileDownloader downloader(nullptr, nullptr);
  if (expected != 0) downloader.SetExpectedSize(expected);
  downloader.SetDigestKinds(kDigestMd5);
  const uint32_t result = downloader.DownloadUrlToFile(url, target);
  const double transfer = Seconds(start);
  if (result != 0) {
    std::printf("transfer failed %lu\n", static_cast<unsigned long>(result));
    return 1;
  }
  QueryPerformanceCounter(&start);
  std::string md5 = downloader.StreamedDigests().md5;
  char digest[33];
  if (md5.empty() && ComputeFileMd5(target, digest)) md5 = digest;
  if (md5.empty()) {
    std::printf("digest failed %lu\n", GetLastError());
    return 1;
  }
  std::printf("md5 %s transfer %.3f digest %.3f\n", md5.c_str(), transfer, Seconds(start));
  return 0;
}

int PlainWinInet(const std::wstring& url, const std::wstring& target) {
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  UniqueInternet session(
      InternetOpenW(L"download_bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  UniqueInternet request(
      session ? InternetOpenUrlW(session.get(), url.c_str(), nullptr, 0,
                                 INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
              : nullptr);
  UniqueFile file(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!request || !file) {
    std::printf("open failed %lu\n", GetLastError());
    return 1;
  }
  std::vector<char> buffer(kBufferSize);
  for (;;) {
    DWORD got = 0, put = 0;
    if (!InternetReadFile(request.get(), buffer.data(), kBufferSize, &got)) {
      std::printf("read failed %lu\n", GetLastError());
      return 1;
    }
    if (got == 0) break;
    if (!WriteFile(file.get(), buffer.data(), got, &put, nullptr) || put != got) {
      std::printf("write failed %lu\n", GetLastError());
      return 1;
    }
  }
  std::printf("wininet %.3f\n", Seconds(start));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 4 && std::wstring(argv[1]) == L"engine") {
    return Engine(argv[2], argv[3], argc > 4 ? _wcstoui64(argv[4], nullptr, 10) : 0);
  }
  if (argc == 4 && std::wstring(argv[1]) == L"wininet") return PlainWinInet(argv[2], argv[3]);
  std::fprintf(stderr, "usage: download_bench engine|wininet URL TARGET [EXPECTED_SIZE]\n");
  return 2;
}
