// What the download job decides on its own: whether a digest matches, where
// a file: source lies, and what the queue leaves behind at the end.
#include "download/download_queue.h"

#include <gtest/gtest.h>

#include "download/credential_store.h"
#include "download/download_check.h"
#include "download_test_support.h"
#include "util/unique_handle.h"

namespace {
TEST(DigestMatches, ConfiguredLettersAToFCountAsLowercaseAndOnly32AreCompared) {
  const std::string digest = "900150983cd24fb0d6963f7d28e17f72";
  struct Case {
    const wchar_t* configured;
    bool matches;
  } cases[] = {
      {L"900150983cd24fb0d6963f7d28e17f72", true},
      {L"900150983CD24FB0D6963F7D28E17F72", true},
      {L"900150983cd24fb0d6963f7d28e17f72 trailing", true},
      {L"900150983cd24fb0d6963f7d28e17f7", false},  // 31 characters
      {L"", false},
      {L"900150983cd24fb0d6963f7d28e17f73", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DigestMatches(digest, c.configured), c.matches) << c.configured;
  EXPECT_FALSE(DigestMatches("", L"")) << "a file without a digest never matches";
}

TEST(LocalPathOfFileSource, SchemeInAnyCaseSharesAndEscapes) {
  struct Case {
    const wchar_t* source;
    const wchar_t* path;
  } cases[] = {
      {L"FILE:///C:/Setups/My%20Runtime/setup.exe", L"C:\\Setups\\My Runtime\\setup.exe"},
      {L"file://server/share/setup.exe", L"\\\\server\\share\\setup.exe"},
      {L"file://\\\\server\\share\\setup.exe", L"\\\\server\\share\\setup.exe"},
      {L"http://host/setup.exe", L""},
  };
  for (const Case& c : cases) EXPECT_EQ(LocalPathOfFileSource(c.source), c.path) << c.source;
}

TEST(IsAlreadyDownloaded, AFileOfTheRightSizeCountsOnlyWhenItMatchesTheConfiguredMd5) {
  TempFolder root;
  WriteAll(root.Path(L"setup.exe"), "abc");  // MD5 900150983cd24fb0d6963f7d28e17f72
  const std::wstring url = L"http://host/files/setup.exe";
  struct Case {
    const wchar_t* md5;
    bool downloaded;
  } cases[] = {
      {L"", true},
      {L"900150983CD24FB0D6963F7D28E17F72", true},
      {L"900150983cd24fb0d6963f7d28e17f73", false},  // stale or foreign: fetched again
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsAlreadyDownloaded(root.Path(L""), url, 3, L"", c.md5), c.downloaded) << c.md5;
  }
  EXPECT_FALSE(IsAlreadyDownloaded(root.Path(L""), url, 4, L"", L""));
}

class DownloadQueueCleanup : public ::testing::Test {
 protected:
  TempFolder root_;
  CredentialStore store_;
};

TEST_F(DownloadQueueCleanup, FilesGoThenEmptiedFoldersLastFirstAndForeignFilesStay) {
  const std::wstring outer = root_.Path(L"dl"), inner = outer + L"\\sub", kept = outer + L"\\kept";
  {
    DownloadQueue queue(store_);
    for (const std::wstring& folder : {outer, inner, kept}) {
      CreateDirectoryW(folder.c_str(), nullptr);
      queue.created_folders.push_back(folder);
    }
    WriteAll(inner + L"\\setup.exe", "MZ");
    WriteAll(kept + L"\\planted.txt", "not ours");
    queue.files_to_delete.push_back(inner + L"\\setup.exe");
  }
  EXPECT_FALSE(Exists(inner));
  EXPECT_TRUE(Exists(kept + L"\\planted.txt"));
  EXPECT_TRUE(Exists(outer));  // still holds the folder with the planted file
  DeleteFileW((kept + L"\\planted.txt").c_str());
  RemoveDirectoryW(kept.c_str());
  RemoveDirectoryW(outer.c_str());
}

DWORD WINAPI ReleaseLater(void* handle) {
  Sleep(300);
  CloseHandle(handle);
  return 0;
}

TEST_F(DownloadQueueCleanup, AFolderHeldForAMomentAfterASetupExitsIsStillRemoved) {
  const std::wstring folder = root_.Path(L"held");
  CreateDirectoryW(folder.c_str(), nullptr);
  HANDLE held = CreateFileW(folder.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ASSERT_FALSE(RemoveDirectoryW(folder.c_str())) << "the hold must block a removal";
  UniqueKernelHandle releaser(CreateThread(nullptr, 0, ReleaseLater, held, 0, nullptr));
  {
    DownloadQueue queue(store_);
    queue.created_folders.push_back(folder);
  }
  WaitForSingleObject(releaser.get(), INFINITE);
  EXPECT_FALSE(Exists(folder));
}

TEST_F(DownloadQueueCleanup, AnIndexPastTheEndFailsAtOnce) {
  DownloadQueue queue(store_);
  EXPECT_EQ(queue.DownloadOne(0), 5u);
  EXPECT_EQ(queue.last_error, 0u);
}
}  // namespace
