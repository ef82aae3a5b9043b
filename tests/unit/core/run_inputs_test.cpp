// The inputs of a run: where the configuration lies, how its bytes are read,
// what the cleanup may take.
#include <gtest/gtest.h>

#include "core/chainer_app.h"
#include "core/cleanup.h"
#include "core/config_path.h"
#include "test_support.h"

namespace {
TEST(ConfigPath, ReplacesTheLastExtensionOfTheFileName) {
  struct Case {
    const wchar_t* module;
    const wchar_t* config;
  } cases[] = {
      {L"C:\\Setup\\setup.exe", L"C:\\Setup\\setup.ini"},
      {L"C:\\Setup\\my.setup.exe", L"C:\\Setup\\my.setup.ini"},
      {L"C:\\x\\setup", L"C:\\x\\setup.ini"},
      {L"C:\\dir.d\\setup", L"C:\\dir.d\\setup.ini"},  // a dot in a folder is no extension
      {L"setup.exe", L"setup.ini"},
      {L"\\\\srv\\share\\s.exe", L"\\\\srv\\share\\s.ini"},
  };
  for (const Case& c : cases) EXPECT_EQ(ConfigPathForModule(c.module), c.config) << c.module;
  EXPECT_EQ(ModuleFolder(L"C:\\Setup\\setup.exe"), L"C:\\Setup");
  EXPECT_EQ(ModuleFolder(L"setup.exe"), L"");
}

TEST(ReadConfigurationText, SkipsTwoBytesAndNeverReadsPastTheFile) {
  ScratchFolder dir;
  struct Case {
    std::string bytes;
    std::wstring text;
  } cases[] = {
      {"", L""},
      {"\xff", L""},
      {"\xff\xfe", L""},
      {std::string("\xff\xfe[\0A\0]\0", 8), L"[A]"},
      {std::string("[\0A\0]\0", 6), L"A]"},  // no mark: the first unit is lost
      {std::string("\xff\xfe"
                   "A\0B",
                   5),
       L"A"},                                               // a trailing odd byte is dropped
      {std::string("\xff\xfe\xff\xfeZ\0", 6), L"\xFEFFZ"},  // a second mark stays in the text
  };
  int n = 0;
  for (const Case& c : cases) {
    std::wstring path = dir / (L"c" + std::to_wstring(n++) + L".ini");
    ASSERT_TRUE(WriteBytes(path, c.bytes));
    std::wstring text = L"stale";
    EXPECT_TRUE(ReadConfigurationText(path, static_cast<uint32_t>(c.bytes.size()), &text));
    EXPECT_EQ(text, c.text) << "case " << n - 1;
  }
}

TEST(ReadConfigurationText, SizeLargerThanTheFileReadsWhatIsThere) {
  // The size comes from the directory listing; the file may shrink before it is read.
  ScratchFolder dir;
  std::wstring path = dir / L"s.ini";
  ASSERT_TRUE(WriteBytes(path, std::string("\xff\xfeQ\0", 4)));
  std::wstring text;
  EXPECT_TRUE(ReadConfigurationText(path, 4000, &text));
  EXPECT_EQ(text, L"Q");
}

TEST(ReadConfigurationText, UnopenableFileGivesEmptyText) {
  ScratchFolder dir;
  std::wstring path = dir / L"locked.ini";
  ASSERT_TRUE(WriteBytes(path, std::string("\xff\xfeQ\0", 4)));
  HANDLE exclusive = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  std::wstring text = L"stale";
  EXPECT_FALSE(ReadConfigurationText(path, 4, &text));
  EXPECT_TRUE(text.empty());
  CloseHandle(exclusive);
  EXPECT_FALSE(ReadConfigurationText(dir / L"missing.ini", 4, &text));
}

TEST(CleanupCollection, SplitsItemsAndIgnoresCaseForScriptPaths) {
  EXPECT_EQ(SplitCleanupFiles(std::wstring(L"C:\\a\x0001\x0001") + L"C:\\b\x0001"),
            (std::vector<std::wstring>{L"C:\\a", L"C:\\b"}));
  EXPECT_TRUE(SplitCleanupFiles(L"").empty());

  PowerShellCleanup cleanup;
  cleanup.AddPath(L"C:\\T\\Setup.exe");
  cleanup.AddPath(L"c:\\t\\SETUP.EXE");
  cleanup.AddPath(L"C:\\T");
  EXPECT_EQ(cleanup.paths, (std::vector<std::wstring>{L"C:\\T\\Setup.exe", L"C:\\T"}));
}

TEST(CleanupCollection, FoldersStopBelowTheCleanupFolderAndNeverClimbToTheRoot) {
  EXPECT_EQ(FoldersBelowCleanupFolder(L"C:\\T\\A\\B", L"C:\\T"),
            (std::vector<std::wstring>{L"C:\\T\\A\\B", L"C:\\T\\A"}));
  EXPECT_EQ(FoldersBelowCleanupFolder(L"C:\\T\\A\\B", L"C:\\T\\"),
            (std::vector<std::wstring>{L"C:\\T\\A\\B", L"C:\\T\\A"}));
  EXPECT_TRUE(FoldersBelowCleanupFolder(L"C:\\T", L"C:\\T").empty());
  // A text prefix that is not a folder of the path, or no cleanup folder at
  // all, hands no folder to the script.
  EXPECT_TRUE(FoldersBelowCleanupFolder(L"C:\\Temp\\A", L"C:\\T").empty());
  EXPECT_TRUE(FoldersBelowCleanupFolder(L"C:\\T\\A", L"").empty());
  EXPECT_TRUE(FoldersBelowCleanupFolder(L"C:\\T\\A", L"D:\\T").empty());
}
}  // namespace
