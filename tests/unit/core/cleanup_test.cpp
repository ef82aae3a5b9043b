// What the cleanup removes and what it hands over: the folder walk, the
// PowerShell command line, the self-deleting batch file, and the real
// deletion on a scratch tree.
#include <windows.h>

#include <gtest/gtest.h>

#include "core/cleanup.h"
#include "core/self_delete_batch.h"
#include "util/file_ops.h"
#include "util/temp_folder.h"
#include "test_support.h"

namespace {
using Paths = std::vector<std::wstring>;

TEST(CleanupWalk, StopsBelowTheCleanupFolderAndNeverLeavesIt) {
  EXPECT_EQ(FoldersToEmpty(L"C:\\T\\A\\B\\x.txt", L"C:\\T"), (Paths{L"C:\\T\\A\\B", L"C:\\T\\A"}));
  EXPECT_EQ(FoldersToEmpty(L"C:\\T\\A\\B\\x.txt", L"C:\\T\\"),
            (Paths{L"C:\\T\\A\\B", L"C:\\T\\A"}));
  EXPECT_EQ(FoldersToEmpty(L"C:\\T\\x.txt", L"C:\\T"), Paths{});
  // Not below the folder: a longer name, another folder, no folder at all.
  EXPECT_EQ(FoldersToEmpty(L"C:\\Tx\\A\\x.txt", L"C:\\T"), Paths{});
  EXPECT_EQ(FoldersToEmpty(L"D:\\A\\x.txt", L"C:\\T"), Paths{});
  EXPECT_EQ(FoldersToEmpty(L"C:\\A\\B\\x.txt", L""), Paths{});
  EXPECT_EQ(FoldersToEmpty(L"C:\\t\\A\\x.txt", L"C:\\T"), Paths{});  // the test is exact
}

TEST(CleanupScript, ArgumentsQuoteEveryPathAndTheScript) {
  EXPECT_EQ(PowerShellArguments(L"C:\\Temp\\CV_1.ps1", {L"C:\\A", L"C:\\A\\B"}, 10),
            L"-NoProfile -NonInteractive -NoLogo -ExecutionPolicy RemoteSigned -Command "
            L"\"& 'C:\\Temp\\CV_1.ps1' -paths 'C:\\A','C:\\A\\B' -retry_count 10\"");
  // Blanks stay inside the quotes; a quote in a name cannot end the string.
  EXPECT_EQ(PowerShellArguments(L"C:\\Documents and Settings\\O'Neil\\CV_2.ps1",
                                {L"C:\\x';Remove-Item C:\\ -Recurse;'"}, 3),
            L"-NoProfile -NonInteractive -NoLogo -ExecutionPolicy RemoteSigned -Command "
            L"\"& 'C:\\Documents and Settings\\O''Neil\\CV_2.ps1' -paths "
            L"'C:\\x'';Remove-Item C:\\ -Recurse;''' -retry_count 3\"");
}

TEST(CleanupScript, QuotingDoublesEveryCharacterThatEndsTheString) {
  // PowerShell ends a single-quoted string at U+2018 to U+201B as at the ASCII
  // quote: doubling only the latter let a folder name run commands.
  const struct {
    const wchar_t* text;
    const wchar_t* quoted;
  } cases[] = {
      {L"C:\\A B", L"'C:\\A B'"},
      {L"", L"''"},
      {L"O'Neil", L"'O''Neil'"},
      {L"x\x2018;calc;#", L"'x\x2018\x2018;calc;#'"},
      {L"x\x2019;calc;#", L"'x\x2019\x2019;calc;#'"},
      {L"x\x201A;calc;#", L"'x\x201A\x201A;calc;#'"},
      {L"x\x201B;calc;#", L"'x\x201B\x201B;calc;#'"},
      {L"'\x2019'", L"'''\x2019\x2019'''"},
      // Double quotation marks, "$" and the backtick are plain text there.
      {L"\x201C\x201D\x201E`$x", L"'\x201C\x201D\x201E`$x'"},
  };
  for (const auto& c : cases) EXPECT_EQ(PowerShellSingleQuoted(c.text), c.quoted) << c.quoted;
}

TEST(SelfDeleteBatchText, TemplatesByteForByte) {
  EXPECT_EQ(SelfDeleteBatchText("C:\\LOCKED~1.EXE", "C:\\T\\EXE1.bat", false, 0),
            "@echo off \r\n%SystemRoot%\\System32\\attrib.exe -r \"C:\\LOCKED~1.EXE\" \r\n"
            ":try \r\ndel \"C:\\LOCKED~1.EXE\" \r\nif exist \"C:\\LOCKED~1.EXE\" goto try\r\n"
            "%SystemRoot%\\System32\\attrib.exe -r \"C:\\T\\EXE1.bat\" \r\n"
            "del \"C:\\T\\EXE1.bat\" | cls");
  EXPECT_EQ(SelfDeleteBatchText("C:\\D", "C:\\T\\EXE2.bat", true, 7),
            "@echo off \r\n%SystemRoot%\\System32\\attrib.exe -r \"C:\\D\" \r\nSET count=0 \r\n"
            ":try \r\n%SystemRoot%\\System32\\timeout.exe  5 \r\nSET /a count=%count%+1\r\n"
            "rd \"C:\\D\" \r\nif %count% GTR 7 goto break\r\nif exist \"C:\\D\" goto try\r\n"
            ":break \r\n%SystemRoot%\\System32\\attrib.exe -r \"C:\\T\\EXE2.bat\" \r\n"
            "del \"C:\\T\\EXE2.bat\" | cls");
  const std::string counted_file = SelfDeleteBatchText("F", "B", false, 2);
  EXPECT_NE(counted_file.find("timeout.exe 5 \r\n"), std::string::npos);
  EXPECT_NE(counted_file.find("del \"F\" \r\nif %count% GTR 2 goto break"), std::string::npos);
  EXPECT_NE(SelfDeleteBatchText("D", "B", true, 0).find(":try \r\nrd \"D\" \r\n"),
            std::string::npos);
}

TEST(SelfDeleteBatchText, NamesOnlyWhatReadsBackExactly) {
  const struct {
    const wchar_t* path;
    unsigned code_page;
    const char* text;
  } cases[] = {
      {L"C:\\T\\setup.exe", 437, "C:\\T\\setup.exe"},
      // cmd expands %x% even between quotes.
      {L"C:\\T\\a%x%b.exe", 437, "C:\\T\\a%%x%%b.exe"},
      {L"C:\\T\\100%.exe", 1252, "C:\\T\\100%%.exe"},
      // Between quotes these are plain text.
      {L"C:\\R&D ^1 (x).exe", 437, "C:\\R&D ^1 (x).exe"},
      // Missing from the code page: "??.exe" would be a wildcard for del.
      {L"C:\\T\\\x5B89\x88C5.exe", 1252, ""},
      {L"C:\\T\\\x5B89\x88C5.exe", 437, ""},
      {L"C:\\T\\\x5B89\x88C5.exe", 936, "C:\\T\\\xB0\xB2\xD7\xB0.exe"},
      {L"C:\\T\\\x5B89.exe", 65001, "C:\\T\\\xE5\xAE\x89.exe"},
      // The OEM and ANSI bytes of one name differ.
      {L"\xE9.exe", 437, "\x82.exe"},
      {L"\xE9.exe", 1252, "\xE9.exe"},
      // A best-fit look-alike names another file (a full-width A becomes A).
      {L"\xFF21.exe", 1252, ""},
      // Expanded when delayed expansion is on for cmd.
      {L"C:\\T\\a!x!b.exe", 437, ""},
      {L"", 437, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BatchPathText(c.path, c.code_page), c.text) << c.text << " " << c.code_page;
  }
}

TEST(SelfDeleteBatch, TargetNeedsAnExistingPath) {
  ScratchFolder dir;
  SelfDeleteBatch batch;
  batch.SetTarget(dir / L"absent.exe");
  EXPECT_EQ(batch.target_ansi(), "");  // nothing to do, nothing started
  ASSERT_TRUE(WriteBytes(dir / L"present.exe", "x"));
  batch.SetTarget(dir / L"present.exe");
  EXPECT_FALSE(batch.target_ansi().empty());
  batch.SetTarget(L"");
  EXPECT_EQ(batch.target_ansi(), "");
  // Neither its short form nor the name itself can be written: left alone.
  ASSERT_TRUE(WriteBytes(dir / L"a!x!.exe", "x"));
  batch.SetTarget(dir / L"a!x!.exe");
  EXPECT_EQ(batch.target_ansi(), "");
}

size_t BatchFilesInTemp() {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((GetTempFolder() + L"EXE*.bat").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  size_t count = 0;
  do ++count;
  while (FindNextFileW(find, &data));
  FindClose(find);
  return count;
}

bool WaitUntilGone(const std::wstring& path, DWORD ms) {
  for (DWORD waited = 0; waited < ms; waited += 100) {
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    Sleep(100);
  }
  return false;
}

TEST(SelfDeleteBatch, RemovesALockedFileOnceFreedAndThenItself) {
  ScratchFolder dir;
  const std::wstring locked = dir / L"still running.exe";
  ASSERT_TRUE(WriteBytes(locked, "MZ"));
  HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  ASSERT_FALSE(DeleteFileW(locked.c_str()));
  // The batch's first line clears the read-only flag: once it is gone, the
  // batch runs and meets the held file, so a batch that tried only once would
  // leave it behind after the release below.
  ASSERT_TRUE(SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY));
  const size_t batches_before = BatchFilesInTemp();
  {
    SelfDeleteBatch batch;
    batch.SetTarget(locked);
    ASSERT_FALSE(batch.target_ansi().empty());
  }  // written and started here
  bool cleared = false;
  for (int i = 0; i < 300 && !cleared; ++i) {
    cleared = (GetFileAttributesW(locked.c_str()) & FILE_ATTRIBUTE_READONLY) == 0;
    if (!cleared) Sleep(100);
  }
  ASSERT_TRUE(cleared) << "the batch did not start";
  CloseHandle(holder);
  EXPECT_TRUE(WaitUntilGone(locked, 30000));
  for (int i = 0; i < 100 && BatchFilesInTemp() > batches_before; ++i) Sleep(100);
  EXPECT_EQ(BatchFilesInTemp(), batches_before);  // the batch file removed itself
}

TEST(SelfDeleteBatch, RemovesItsTargetAndNoFileNamedLikeIt) {
  // "%x%" in a name expanded to another file's name, and a name the code page
  // lacks would read "??.exe", a wildcard for del: the look-alikes must stay.
  ScratchFolder dir;
  ASSERT_TRUE(SetEnvironmentVariableW(L"x", L"d"));  // the batch's cmd inherits it
  SetEnvironmentVariableW(L"y", nullptr);
  const std::wstring targets[] = {dir / L"a%x%b.exe", dir / L"b%y%.exe", dir / L"\x5B89\x88C5.exe"};
  const wchar_t* decoys[] = {L"adb.exe", L"b.exe", L"a.exe", L"ab.exe", L"cd.exe"};
  for (const std::wstring& target : targets) ASSERT_TRUE(WriteBytes(target, "MZ"));
  for (const wchar_t* decoy : decoys) ASSERT_TRUE(WriteBytes(dir / decoy, "MZ"));
  const size_t batches_before = BatchFilesInTemp();
  for (const std::wstring& target : targets) {
    SelfDeleteBatch batch;
    batch.SetTarget(target);
    ASSERT_FALSE(batch.target_ansi().empty());
  }
  for (int i = 0; i < 300 && BatchFilesInTemp() > batches_before; ++i) Sleep(100);
  SetEnvironmentVariableW(L"x", nullptr);
  ASSERT_EQ(BatchFilesInTemp(), batches_before) << "the batch files did not finish";
  for (const std::wstring& target : targets) EXPECT_FALSE(PathExists(target));
  for (const wchar_t* decoy : decoys) EXPECT_TRUE(PathExists(dir / decoy)) << decoy;
}

TEST(CleanupDeletion, RemovesFilesAndEmptiedFoldersButNothingElse) {
  ScratchFolder root;
  const std::wstring t = root / L"T";
  for (const wchar_t* folder : {L"", L"\\A", L"\\A\\B", L"\\A\\C", L"\\Other"}) {
    CreateDirectoryW((t + folder).c_str(), nullptr);
  }
  ASSERT_TRUE(WriteBytes(t + L"\\A\\B\\one.txt", "1"));
  ASSERT_TRUE(WriteBytes(t + L"\\A\\C\\two.txt", "2"));
  ASSERT_TRUE(WriteBytes(t + L"\\A\\C\\keep.txt", "k"));
  ASSERT_TRUE(WriteBytes(root / L"outside.txt", "o"));
  DeleteCollectedFiles({t + L"\\A\\B\\one.txt", t + L"\\A\\C\\two.txt", root / L"outside.txt"}, t);
  EXPECT_FALSE(PathExists(t + L"\\A\\B"));  // emptied
  EXPECT_TRUE(PathExists(t + L"\\A\\C\\keep.txt"));
  EXPECT_TRUE(PathExists(t + L"\\Other"));          // empty, but nothing of ours was in it
  EXPECT_TRUE(PathExists(t));                       // the cleanup folder itself stays
  EXPECT_FALSE(PathExists(root / L"outside.txt"));  // named files go wherever they are
  EXPECT_TRUE(PathExists(root.path()));             // their folders stay
}

TEST(CleanupDeletion, ScriptKeepsOnlyWhatItCanRemove) {
  ScratchFolder root;
  const std::wstring a = root / L"A";
  CreateDirectoryW(a.c_str(), nullptr);
  CreateDirectoryW((a + L"\\B").c_str(), nullptr);
  CreateDirectoryW((a + L"\\Busy").c_str(), nullptr);
  ASSERT_TRUE(WriteBytes(a + L"\\B\\setup.exe", "MZ"));
  ASSERT_TRUE(WriteBytes(a + L"\\Busy\\1", "1"));
  ASSERT_TRUE(WriteBytes(a + L"\\Busy\\2", "2"));
  PowerShellCleanup cleanup;
  for (const std::wstring& p : {a + L"\\B\\setup.exe", a + L"\\B", a + L"\\Busy", a}) {
    cleanup.AddPath(p);
  }
  PruneScriptPaths(&cleanup);
  // B holds only the executable; A holds B and Busy (two entries); Busy two files.
  EXPECT_EQ(cleanup.paths, (Paths{a + L"\\B\\setup.exe", a + L"\\B"}));
}

TEST(CleanupScript, NothingToDoOrNothingToCopy) {
  PowerShellCleanup cleanup;
  EXPECT_TRUE(cleanup.Run());  // no paths
  cleanup.AddPath(L"C:\\x");
  cleanup.script = L"C:\\no\\such\\script.ps1";
  EXPECT_FALSE(cleanup.Run());  // the copy fails: nothing starts
}
}  // namespace
