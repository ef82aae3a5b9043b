// What the download job decides on its own: whether a digest matches, whether
// a file is accepted, where a file: source lies, and what the queue leaves
// behind at the end.
#include "download/download_queue.h"

#include <gtest/gtest.h>

#include "download/credential_store.h"
#include "download/download_check.h"
#include "download/file_digest.h"
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

// The acceptance of a finished download and of a file found in the download
// folder: the same checks in the same order, digests read from the disk
// unless the transfer gave them.
TEST(CheckFile, SizeMd5AndSha256AreJudgedInOrder) {
  TempFolder root;
  WriteAll(root.Path(L"setup.exe"), "abc");
  WriteAll(root.Path(L"empty.exe"), "");
  const std::wstring url = L"http://host/files/setup.exe";
  const std::wstring md5 = L"900150983cd24fb0d6963f7d28e17f72";
  const std::wstring sha = L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  const std::wstring sha_upper = L"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD";
  const std::wstring sha_wrong = sha.substr(0, 63) + L"0";
  struct Case {
    uint32_t size;
    std::wstring md5, sha256;
    Rejection rejection;
  } cases[] = {
      {0, L"", L"", Rejection::kNone},
      {3, L"", L"", Rejection::kNone},
      {4, L"", L"", Rejection::kSize},
      {3, L"900150983CD24FB0D6963F7D28E17F72", L"", Rejection::kNone},
      {0, L"900150983cd24fb0d6963f7d28e17f73", L"", Rejection::kMd5},  // stale or foreign
      {0, L"", sha, Rejection::kNone},
      {3, L"", sha_upper, Rejection::kNone},
      {0, L"", sha_wrong, Rejection::kSha256},
      {0, md5, sha_wrong, Rejection::kSha256},
      {0, md5.substr(0, 31) + L"0", sha, Rejection::kMd5},
      {4, md5, sha, Rejection::kSize},
      {3, md5, sha, Rejection::kNone},
      // Values no file can match reject it rather than skip the check.
      {0, L"", sha.substr(0, 63), Rejection::kSha256Malformed},
      {0, L"", sha + L"0", Rejection::kSha256Malformed},
      {0, md5, sha.substr(0, 63) + L"g", Rejection::kSha256Malformed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_wstring(c.size) + L" " + c.md5 + L" " + c.sha256);
    const FileRequirements required{c.size, c.md5, c.sha256};
    EXPECT_EQ(CheckFile(root.Path(L"setup.exe"), required, FileDigests()), c.rejection);
    EXPECT_EQ(IsAlreadyDownloaded(root.Path(L""), url, L"", required),
              c.rejection == Rejection::kNone);
  }
  // Digests the transfer gave are taken as they are, not read again.
  EXPECT_EQ(CheckFile(root.Path(L"setup.exe"), {0, md5, L""}, {Md5Text("abd", 3), ""}),
            Rejection::kMd5);
  // An empty file never matches a digest, not even that of no bytes.
  EXPECT_EQ(CheckFile(root.Path(L"empty.exe"), {0, L"d41d8cd98f00b204e9800998ecf8427e", L""},
                      FileDigests()),
            Rejection::kMd5);
}

// The report after the setups ran may take an earlier acceptance of the
// unchanged file; a changed file is read again, and without the report's
// leave every look reads the file, even when its times were set back.
TEST(IsAlreadyDownloaded, ReusesAnAcceptanceOnlyForReportsAndOnlyWhileUnchanged) {
  TempFolder root;
  const std::wstring path = root.Path(L"setup.exe");
  const std::wstring url = L"http://host/files/setup.exe";
  const FileRequirements required{0, L"900150983cd24fb0d6963f7d28e17f72", L""};  // "abc"
  WriteAll(path, "abc");
  ASSERT_EQ(CheckFile(path, required, FileDigests()), Rejection::kNone);
  WIN32_FILE_ATTRIBUTE_DATA accepted;
  ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &accepted));

  WriteAll(path, "abd");
  UniqueKernelHandle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(file.valid());
  FILETIME later = accepted.ftLastWriteTime;
  later.dwLowDateTime += 10000000;  // a second on: a rewrite the clock did not tell apart
  ASSERT_TRUE(SetFileTime(file.get(), &accepted.ftCreationTime, nullptr, &later));
  EXPECT_FALSE(IsAlreadyDownloaded(root.Path(L""), url, L"", required, true));
  // Times set back to those of the accepted file: the report is fooled, as
  // documented, but a look that decides a launch reads the bytes.
  ASSERT_TRUE(SetFileTime(file.get(), &accepted.ftCreationTime, nullptr, &accepted.ftLastWriteTime));
  file.reset();
  EXPECT_FALSE(IsAlreadyDownloaded(root.Path(L""), url, L"", required));
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
