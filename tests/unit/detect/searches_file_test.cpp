// The file search against real files: tools/versioned.exe carries the fixed
// file version 2.5.1.0 (and different text versions, which must be ignored).
#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <string>
#include <vector>

#include "detect/file_version.h"
#include "detect/wow64_redirection.h"
#include "searches_test_support.h"
#include "test_support.h"
#include "util/temp_folder.h"

namespace {
const std::wstring kVersion = L"2.5.1";

std::wstring Unique(const std::wstring& stem) {
  return stem + std::to_wstring(GetCurrentProcessId()) + L".exe";
}

SearchResult FindFile(const std::wstring& text, bool wow64 = false,
                      const std::wstring& ver_min = L"", const std::wstring& ver_max = L"",
                      bool windows10 = false) {
  return RunOn(MakeSearch(0, text, ver_min, ver_max), wow64, Platform(true, windows10));
}

// A junction (mount point) at link that leads to target; 0 or the error of
// the file system that cannot make one.
DWORD MakeJunction(const std::wstring& link, const std::wstring& target) {
  if (!CreateDirectoryW(link.c_str(), nullptr)) return GetLastError();
  HANDLE folder = CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return GetLastError();
  const std::wstring substitute = L"\\??\\" + target;
  const WORD substitute_bytes = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
  // Mount-point layout: tag, data length, reserved, then four offsets and
  // lengths and the two names, each with its terminator.
  std::vector<BYTE> buffer(8 + 8 + substitute_bytes + 2 + 2, 0);
  auto put_word = [&](size_t at, WORD word) { memcpy(&buffer[at], &word, sizeof(word)); };
  const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
  memcpy(&buffer[0], &tag, sizeof(tag));
  put_word(4, static_cast<WORD>(buffer.size() - 8));
  put_word(8, 0);
  put_word(10, substitute_bytes);
  put_word(12, static_cast<WORD>(substitute_bytes + 2));
  put_word(14, 0);
  memcpy(&buffer[16], substitute.c_str(), substitute_bytes);
  DWORD returned = 0;
  const BOOL ok =
      DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, buffer.data(),
                      static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
  const DWORD error = ok ? 0 : GetLastError();
  CloseHandle(folder);
  if (error) return error;
  const DWORD attributes = GetFileAttributesW(link.c_str());
  const bool linked =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  return linked ? 0 : ERROR_NOT_A_REPARSE_POINT;
}

size_t CountCloneFiles() {
  size_t count = 0;
  FolderEnumerator entries(GetTempFolder() + L"shi*.tmp");
  while (entries.Next()) ++count;
  return count;
}

class FileSearchTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const wchar_t* folder : {L"deep", L"deep\\a", L"deep\\a\\b", L"first", L"first\\sub"}) {
      ASSERT_TRUE(CreateDirectoryW((scratch_ / folder).c_str(), nullptr));
    }
    ASSERT_TRUE(CopyInto(scratch_ / L"versioned.exe"));
    ASSERT_TRUE(CopyInto(scratch_ / L"deep\\a\\b\\versioned.exe"));
    ASSERT_TRUE(CopyInto(scratch_ / L"first\\sub\\target.exe"));
    ASSERT_TRUE(WriteBytes(scratch_ / L"first\\target.exe", "no version information"));
  }
  ScratchFolder scratch_;
};

TEST_F(FileSearchTest, PathsDepthsAndRanges) {
  const std::wstring s = scratch_.path() + L"\\";
  const std::wstring relative = s.substr(GetTempFolder().size());
  SetEnvironmentVariableW(L"CHAINER_SEARCH_DIR", scratch_.path().c_str());
  const struct {
    std::wstring text, ver_min, ver_max;
    bool found;
    std::vector<std::wstring> values;
  } cases[] = {
      {s + L"versioned.exe", L"", L"", true, {kVersion}},
      {s + L"versioned.exe", L"2.5.1", L"2.5.1", true, {kVersion}},
      {s + L"versioned.exe", L"2.6", L"", false, {kVersion}},
      {s + L"versioned.exe", L"", L"2.5", false, {kVersion}},
      {s + L"missing.exe", L"", L"", false, {}},
      {s + L"deep\\versioned.exe", L"", L"", false, {}},
      {s + L"deep\\versioned.exe?1", L"", L"", false, {}},
      {s + L"deep\\versioned.exe?2", L"2", L"3", true, {kVersion}},
      {s + L"deep\\versioned.exe?-5", L"", L"", false, {}},
      {s + L"deep\\versioned.exe?abc", L"", L"", false, {}},
      {s + L"deep\\versioned.exe?99999999999999999999", L"", L"", true, {kVersion}},
      {s + L"deep\\*.exe?2", L"", L"", true, {kVersion}},  // the matched file is read
      // The first file found ends the search, even when a later one would fit.
      {s + L"first\\target.exe?1", L"1", L"", false, {L"0.0.0.0"}},
      {s + L"first\\target.exe?1", L"", L"", true, {L"0.0.0.0"}},
      // References resolved in the path.
      {L"[TempFolder]" + relative + L"versioned.exe", L"2.5", L"", true, {kVersion}},
      {L"%CHAINER_SEARCH_DIR%\\versioned.exe", L"", L"", true, {kVersion}},
      {L"[TempFolder" + relative + L"versioned.exe", L"", L"", false, {}},
      {L"%CHAINER_SEARCH_DIR\\versioned.exe", L"", L"", false, {}},
      {L"!HKLM\\Software\\versioned.exe", L"", L"", false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
    SearchResult result = FindFile(c.text, false, c.ver_min, c.ver_max);
    EXPECT_EQ(c.found, result.found);
    EXPECT_EQ(c.values, result.values);
  }
}

TEST_F(FileSearchTest, BareNameOnTheFixedDrives) {
  const std::wstring name = Unique(L"chainer-search-");
  const std::wstring folder = L"C:\\" + Unique(L"chainer-search-dir-");
  const std::wstring deep_name = Unique(L"chainer-search-deep-");
  ASSERT_TRUE(CopyInto(L"C:\\" + name));
  CreateDirectoryW(folder.c_str(), nullptr);
  CreateDirectoryW((folder + L"\\inner").c_str(), nullptr);
  ASSERT_TRUE(CopyInto(folder + L"\\inner\\" + deep_name));

  EXPECT_EQ(std::vector<std::wstring>{kVersion}, FindFile(name).values);
  // A "?" in the first place is part of the name (a one-character wildcard).
  EXPECT_EQ(std::vector<std::wstring>{kVersion}, FindFile(L"?" + name.substr(1)).values);
  EXPECT_TRUE(FindFile(deep_name).values.empty());
  EXPECT_TRUE(FindFile(deep_name + L"?1").values.empty());
  EXPECT_EQ(std::vector<std::wstring>{kVersion}, FindFile(deep_name + L"?2").values);

  DeleteFileW((L"C:\\" + name).c_str());
  DeleteFileW((folder + L"\\inner\\" + deep_name).c_str());
  RemoveDirectoryW((folder + L"\\inner").c_str());
  RemoveDirectoryW(folder.c_str());
}

TEST_F(FileSearchTest, SixtyFourBitSystemFolderOnlyWithX) {
  if (sizeof(void*) == 8) {
    GTEST_SKIP() << "a 64-bit program sees System32 unredirected, with or without \"x\"";
  }
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring path = std::wstring(windows) + L"\\system32\\" + Unique(L"chainer-search-64-");
  {
    FsRedirectionOff redirection_off(true);
    if (!redirection_off.active()) GTEST_SKIP() << "no WOW64 file-system redirection";
    ASSERT_TRUE(CopyInto(path));
  }
  const std::wstring text = L"%windir%\\system32\\" + FileNameOf(path);
  const size_t clones = CountCloneFiles();

  EXPECT_FALSE(FindFile(text).found);
  EXPECT_EQ(std::vector<std::wstring>{kVersion}, FindFile(text, true).values);
  // On Windows 10 the file is read through a temporary copy, removed again.
  EXPECT_EQ(std::vector<std::wstring>{kVersion}, FindFile(text, true, L"", L"", true).values);
  EXPECT_FALSE(FindFile(text + L"x", true).found);
  EXPECT_EQ(clones, CountCloneFiles());
  // Redirection is back on after every search, found or not.
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path.c_str()));

  FsRedirectionOff redirection_off(true);
  DeleteFileW(path.c_str());
}

TEST_F(FileSearchTest, LinkedFoldersAreNotFollowed) {
  ASSERT_TRUE(CreateDirectoryW((scratch_ / L"outside").c_str(), nullptr));
  ASSERT_TRUE(CopyInto(scratch_ / L"outside\\linked.exe"));
  ASSERT_TRUE(CreateDirectoryW((scratch_ / L"walk").c_str(), nullptr));
  DWORD error = MakeJunction(scratch_ / L"walk\\link", scratch_ / L"outside");
  if (!error) error = MakeJunction(scratch_ / L"walk\\loop", scratch_ / L"walk");
  if (error) GTEST_SKIP() << "junctions are not supported here: error " << error;
  ASSERT_NE(INVALID_FILE_ATTRIBUTES,
            GetFileAttributesW((scratch_ / L"walk\\link\\linked.exe").c_str()));
  // A loop back to the parent must not make the walk endless.
  EXPECT_FALSE(FindFile(scratch_ / L"walk\\linked.exe?2147483647").found);
}

TEST(FileVersionTest, FormatsTheFixedVersion) {
  const struct {
    uint32_t ms, ls;
    const wchar_t* text;
  } cases[] = {
      {0x00020005, 0x00010000, L"2.5.1"},       {0x00010000, 0x00000000, L"1.0"},
      {0x00000000, 0x00000000, L"0.0.0.0"},     {0x0001FFFF, 0xFFFFFFFF, L"1.65535"},
      {0xFFFF0003, 0x00040005, L"65535.3.4.5"}, {0x000A0000, 0x4A610000, L"10.0.19041"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.text, FormatFileVersion(c.ms, c.ls)) << c.text;
}

TEST(FileVersionTest, FileWithoutVersionInformation) {
  ScratchFolder scratch;
  ASSERT_TRUE(WriteBytes(scratch / L"plain.dll", "MZ"));
  EXPECT_EQ(L"0.0.0.0", ReadFileVersionText(scratch / L"plain.dll", true));
  EXPECT_EQ(L"0.0.0.0", ReadFileVersionText(scratch / L"missing.dll", false));
}
}  // namespace
