// The searches that run a helper program, ask the store-package finder or
// list a folder, and the types that do not exist.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "detect/msix_finder.h"
#include "detect/searches.h"
#include "searches_test_support.h"
#include "test_support.h"
#include "util/temp_folder.h"

namespace {
// Hands out one helper program whatever the search names.
class HelperConfig : public ChainerConfig {
 public:
  explicit HelperConfig(const std::wstring& helper) : helper_(helper) {}
  std::wstring GetSearchHelperPath(const SearchEntry&) override { return helper_; }

 private:
  std::wstring helper_;
};

SearchResult RunHelper(const std::wstring& helper, const std::wstring& command_line,
                       const std::wstring& window = L"") {
  HelperConfig config(helper);
  SearchEntry search = MakeSearch(10, L"helper.exe", L"", L"", window);
  search.search_cmd_line = command_line;
  return RunSearch(search, false, config);
}

TEST(HelperProgramSearchTest, FoundOnExitCodeZero) {
  const std::wstring exit_with = BuildPath(L"tools\\exit_with.exe");
  EXPECT_TRUE(RunHelper(exit_with, L"0").found);
  EXPECT_FALSE(RunHelper(exit_with, L"3").found);
  EXPECT_FALSE(RunHelper(exit_with, L"-1").found);
  EXPECT_FALSE(RunHelper(L"", L"0").found);  // no archive, no helper
  EXPECT_FALSE(RunHelper(BuildPath(L"tools\\missing.exe"), L"0").found);
  EXPECT_TRUE(RunHelper(L"\\\\?\\" + exit_with, L"0").found);
}

TEST(HelperProgramSearchTest, ResolvedArgumentsAndOwnFolder) {
  ScratchFolder scratch;
  const std::wstring relative = scratch.path().substr(GetTempFolder().size());
  ASSERT_TRUE(RunHelper(BuildPath(L"tools\\exit_with.exe"),
                        L"0 \"[TempFolder]" + relative + L"\\record.txt\"")
                  .found);
  std::string lines = ReadBytes(scratch / L"record.txt");
  const std::wstring tools = BuildPath(L"tools");
  EXPECT_NE(std::string::npos, lines.find("\n" + std::string(tools.begin(), tools.end()))) << lines;
  EXPECT_EQ(std::string::npos, lines.find("[TempFolder]")) << lines;
}

TEST(HelperProgramSearchTest, HiddenOnlyForWndHide) {
  const std::wstring show_window = BuildPath(L"tools\\show_window.exe");
  EXPECT_TRUE(RunHelper(show_window, L"", L"WND_HIDE").found);  // exits with SW_HIDE, 0
  EXPECT_FALSE(RunHelper(show_window, L"", L"").found);
  EXPECT_FALSE(RunHelper(show_window, L"", L"wnd_hide").found);
  EXPECT_FALSE(RunHelper(show_window, L"", L"WND_HIDE ").found);
}

class FakeFinder : public IMsixFinder {
 public:
  std::wstring Find(const std::wstring& name, const std::wstring& publisher,
                    const std::wstring& architecture) override {
    calls.push_back(name + L"|" + publisher + L"|" + architecture);
    return version;
  }
  std::wstring version;
  std::vector<std::wstring> calls;
};

TEST(StorePackageSearchTest, SplitsTheSearchStringAndChecksTheRange) {
  const struct {
    std::wstring text, version, ver_min;
    bool windows10;
    const wchar_t* call;  // nullptr: the finder must not be asked
    bool found;
  } cases[] = {
      {L"App?x64?CN=Vendor", L"1.2", L"1.1", true, L"App|CN=Vendor|x64", true},
      {L"App", L"1.2", L"1.3", true, L"App||", false},
      {L"App??CN=Vendor", L"1.2", L"", true, L"App|CN=Vendor|", true},
      {L"App?arm64", L"1.2", L"", true, L"App||arm64", true},
      {L"App?x86?CN=A?B", L"1.2", L"", true, L"App|CN=A?B|x86", true},
      {L"App", L"", L"", true, L"App||", false},     // not installed
      {L"App", L"1.2", L"", false, nullptr, false},  // before Windows 10
  };
  for (const auto& c : cases) {
    FakeFinder finder;
    finder.version = c.version;
    SearchPlatform platform = Platform(true, c.windows10);
    platform.msix_finder = &finder;
    SearchResult result = RunOn(MakeSearch(13, c.text, c.ver_min), false, platform);
    EXPECT_EQ(c.found, result.found) << c.text;
    EXPECT_EQ(c.call ? std::vector<std::wstring>{c.call} : std::vector<std::wstring>{},
              finder.calls)
        << c.text;
  }
  EXPECT_FALSE(RunOn(MakeSearch(13, L"App"), false, Platform(true, true)).found);  // no finder
  EXPECT_EQ(L"", GetSystemMsixFinder().Find(L"App", L"", L""));
}

TEST(SubfolderSearchTest, CollectsFolderNamesOnly) {
  ScratchFolder scratch;
  for (const wchar_t* name : {L"1.6", L"2.0"}) CreateDirectoryW((scratch / name).c_str(), nullptr);
  ASSERT_TRUE(WriteBytes(scratch / L"3.0", ""));
  const std::wstring text = L"[TempFolder]" + scratch.path().substr(GetTempFolder().size());

  SearchResult result = RunOn(MakeSearch(14, text, L"1.9"), false, Platform(true));
  std::sort(result.values.begin(), result.values.end());
  EXPECT_EQ((std::vector<std::wstring>{L"1.6", L"2.0"}), result.values);
  EXPECT_TRUE(result.found);
  EXPECT_FALSE(RunOn(MakeSearch(14, text + L"\\", L"2.1"), false, Platform(true)).found);
  EXPECT_TRUE(RunOn(MakeSearch(14, text + L"\\", L"2.0"), false, Platform(true)).found);
  EXPECT_FALSE(RunOn(MakeSearch(14, scratch / L"missing"), false, Platform(true)).found);
  EXPECT_FALSE(RunOn(MakeSearch(14, L""), false, Platform(true)).found);
}

TEST(SearchTypeTest, UnknownTypesAreNeverFound) {
  for (int32_t type : {-1, 15, 99}) {
    SearchResult result = RunOn(MakeSearch(type, L"C:\\"), true, Platform(true, true));
    EXPECT_FALSE(result.found) << type;
    EXPECT_TRUE(result.values.empty()) << type;
  }
}
}  // namespace
