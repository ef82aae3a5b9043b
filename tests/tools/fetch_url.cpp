// fetch_url [--auto-accept] [--ignore-cert] [--answer-cert] URL TARGET: runs
// one transfer and prints "report <code>" for every question or failure the
// sink receives, then "result <code>" (decimal). --answer-cert answers a
// certificate question the way a dialog that accepts does: it relaxes the
// request's certificate checks and answers 0 (send again); --answer-only
// answers 0 without relaxing anything.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <string>

#include "download/file_downloader.h"
#include "ui/progress_sink.h"

namespace {

class PrintingSink : public IProgressSink {
 public:
  PrintingSink(bool answer_cert, bool relax) : answer_cert_(answer_cert), relax_(relax) {}
  void SetStepCount(uint64_t, uint32_t) override {}
  void BeginTransfer(int32_t, uint64_t, const std::wstring&) override {}
  void EndTransfer(int32_t, uint32_t) override {}
  void AddBytes(uint64_t) override {}
  bool IsCanceled() override { return false; }
  bool IsPaused() override { return false; }
  int32_t ReportError(const std::wstring&, uint32_t code, void* context) override {
    std::printf("report %lu%s\n", static_cast<unsigned long>(code), context ? " asked" : "");
    std::fflush(stdout);
    if (!answer_cert_ || context == nullptr) return static_cast<int32_t>(code);
    if (relax_) {
      HINTERNET request = static_cast<HINTERNET>(context);
      DWORD flags = 0;
      DWORD size = sizeof(flags);
      InternetQueryOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, &size);
      flags |= SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
               SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
      InternetSetOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof(flags));
    }
    return 0;
  }
  void SetStatus(const std::wstring&, int32_t, uint32_t) override {}

 private:
  bool answer_cert_;
  bool relax_;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  bool auto_accept = false, ignore = false, answer = false, answer_only = false;
  int at = 1;
  for (; at < argc && argv[at][0] == L'-'; ++at) {
    const std::wstring option = argv[at];
    auto_accept |= option == L"--auto-accept";
    ignore |= option == L"--ignore-cert";
    answer |= option == L"--answer-cert";
    answer_only |= option == L"--answer-only";
  }
  if (argc - at != 2) return 2;
  PrintingSink sink(answer || answer_only, answer);
  FileDownloader downloader(&sink, nullptr);
  downloader.SetAutoAcceptCertErrors(auto_accept);
  downloader.SetIgnoreCertErrors(ignore);
  const uint32_t result = downloader.DownloadUrlToFile(argv[at], argv[at + 1]);
  std::printf("result %lu\n", static_cast<unsigned long>(result));
  return 0;
}
