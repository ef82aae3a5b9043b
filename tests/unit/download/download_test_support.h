// What the transfer tests share: a sink that records, a throw-away folder,
// file contents in and out, a server handler for one file, and the check of
// the digests a transfer computed as it wrote.
#pragma once
#include "loopback_http.h"
// The server header brings winsock2.h ahead of windows.h.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "download/credential_store.h"
#include "download/file_digest.h"
#include "download/file_downloader.h"
#include "ui/progress_sink.h"

// Records what the engine tells the sink; cancels once cancel_after bytes
// have arrived, and can fill the credential store when asked.
class RecordingSink : public IProgressSink {
 public:
  void SetStepCount(uint64_t, uint32_t) override {}
  void BeginTransfer(int32_t kind, uint64_t total, const std::wstring& path) override {
    ++begins;
    begin_kind = kind;
    begin_total = total;
    begin_path = path;
  }
  void EndTransfer(int32_t kind, uint32_t) override {
    ++ends;
    end_kind = kind;
  }
  void AddBytes(uint64_t count) override { bytes += count; }
  bool IsCanceled() override { return cancel_after != 0 && bytes >= cancel_after; }
  bool IsPaused() override { return false; }
  int32_t ReportError(const std::wstring& text, uint32_t code, void* context) override {
    errors.push_back(code);
    error_texts.push_back(text);
    if (code == kDownloadNeedCredentials && fill_user != nullptr) {
      static_cast<CredentialStore*>(context)->SetEntered(fill_user, fill_password);
      return ERROR_RETRY;
    }
    return static_cast<int32_t>(code);
  }
  void SetStatus(const std::wstring&, int32_t, uint32_t) override {}

  int begins = 0;
  int32_t begin_kind = 0;
  uint64_t begin_total = 0;
  std::wstring begin_path;
  int ends = 0;
  int32_t end_kind = 0;
  uint64_t bytes = 0;
  uint64_t cancel_after = 0;
  std::vector<uint32_t> errors;
  std::vector<std::wstring> error_texts;
  const wchar_t* fill_user = nullptr;
  const wchar_t* fill_password = nullptr;
};

inline std::string Pattern(size_t size, unsigned seed = 7) {
  std::string data(size, '\0');
  unsigned value = seed;
  for (char& c : data) {
    value = value * 1103515245u + 12345u;
    c = static_cast<char>(value >> 16);
  }
  return data;
}

// A fresh folder under the temporary folder, removed with what it holds.
class TempFolder {
 public:
  TempFolder() {
    wchar_t base[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, base);
    path_ = std::wstring(base) + L"dl_test_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
            std::to_wstring(InterlockedIncrement(&Counter()));
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~TempFolder() {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path_ + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
          DeleteFileW((path_ + L"\\" + data.cFileName).c_str());
        }
      } while (FindNextFileW(find, &data));
      FindClose(find);
    }
    RemoveDirectoryW(path_.c_str());
  }
  std::wstring Path(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  static LONG& Counter() {
    static LONG counter = 0;
    return counter;
  }
  std::wstring path_;
};

inline bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline std::string ReadAll(const std::wstring& path) {
  std::string data;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return data;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) data.append(buffer, got);
  CloseHandle(file);
  return data;
}

inline void WriteAll(const std::wstring& path, const std::string& data) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD put = 0;
  WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &put, nullptr);
  CloseHandle(file);
}

// A whole file, a range of it for "Range: bytes=N-" (206), or 404 for other paths.
inline LoopbackHttp::Handler ServeFile(const std::string& data,
                                       const std::string& path = "/setup.exe") {
  return [data, path](const LoopbackRequest& request, int) {
    if (request.path != path) return LoopbackResponse::Make(404, "missing");
    const std::string range = request.Header("Range");
    if (range.rfind("bytes=", 0) == 0) {
      size_t from = strtoul(range.c_str() + 6, nullptr, 10);
      return LoopbackResponse::Make(206, data.substr(std::min(from, data.size())));
    }
    return LoopbackResponse::Make(200, data);
  };
}

// The digests the transfer computed while writing are those of the file as
// read again from the disk afterwards.
inline void ExpectStreamedDigestsOf(const FileDownloader& downloader, const std::wstring& path) {
  FileDigests read;
  ASSERT_TRUE(ComputeFileDigests(path, kDigestMd5 | kDigestSha256, &read));
  const FileDigests streamed = downloader.StreamedDigests();
  EXPECT_EQ(read.md5, streamed.md5);
  EXPECT_EQ(read.sha256, streamed.sha256);
}
