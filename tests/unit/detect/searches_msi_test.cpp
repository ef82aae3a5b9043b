// The Windows Installer searches against products that Wine's msiexec really
// installs: test-data/search_product_A.msi (1.5.0) and _B.msi (2.3.7), built
// by wixl at build time, share one upgrade code.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "install/process_launch.h"
#include "searches_test_support.h"

namespace {
const wchar_t kUpgradeCode[] = L"{6C1E3A52-8F0B-4D8E-9A51-3B7C0D2E4F10}";
const wchar_t kProductA[] = L"{6C1E3A52-8F0B-4D8E-9A51-3B7C0D2E4F11}";
const wchar_t kProductB[] = L"{6C1E3A52-8F0B-4D8E-9A51-3B7C0D2E4F12}";
const wchar_t kComponentA[] = L"{6C1E3A52-8F0B-4D8E-9A51-3B7C0D2E4F21}";
const wchar_t kComponentB[] = L"{6C1E3A52-8F0B-4D8E-9A51-3B7C0D2E4F22}";
const wchar_t kNeverInstalled[] = L"{6C1E3A52-8F0B-4D8E-9A51-3B7C0D2E4F99}";

std::wstring Package(const wchar_t* name) {
  return BuildPath(std::wstring(L"test-data\\search_product_") + name + L".msi");
}

// msiexec /i or /x, quiet; the exit code.
uint32_t Msiexec(const wchar_t* action, const wchar_t* name) {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring program = std::wstring(system) + L"\\msiexec.exe";
  uint32_t exit_code = 0;
  if (!CreateProcessAndWait(program,
                            L"msiexec " + std::wstring(action) + L" \"" + Package(name) + L"\" /qn",
                            0, &exit_code)) {
    return exit_code ? exit_code : 1;
  }
  return exit_code;
}

SearchResult Find(int32_t type, const std::wstring& code, const std::wstring& ver_min = L"",
                  const std::wstring& ver_max = L"") {
  SearchResult result = RunOn(MakeSearch(type, code, ver_min, ver_max), false, Platform(true));
  std::sort(result.values.begin(), result.values.end());
  return result;
}

class MsiSearchTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (GetFileAttributesW(Package(L"A").c_str()) == INVALID_FILE_ATTRIBUTES) return;
    installed_ = Msiexec(L"/i", L"A") == 0;
  }
  static void TearDownTestSuite() {
    if (installed_) Msiexec(L"/x", L"A");
    installed_ = false;
  }
  void SetUp() override {
    if (!installed_) GTEST_SKIP() << "search_product_A.msi is missing (wixl) or did not install";
  }
  static bool installed_;
};
bool MsiSearchTest::installed_ = false;

TEST_F(MsiSearchTest, ProductVersionByProductCode) {
  const struct {
    const wchar_t* code;
    const wchar_t *ver_min, *ver_max;
    bool found;
    std::vector<std::wstring> values;
  } cases[] = {
      {kProductA, L"", L"", true, {L"1.5.0"}},
      {kProductA, L"1.5", L"1.5", true, {L"1.5.0"}},
      {kProductA, L"1.5.0.1", L"", false, {L"1.5.0"}},
      {kProductA, L"", L"1.4.9", false, {L"1.5.0"}},
      {kNeverInstalled, L"", L"", false, {}},
      {L"not a product code", L"", L"", false, {}},
      {L"", L"", L"", false, {}},
  };
  for (const auto& c : cases) {
    SearchResult result = Find(3, c.code, c.ver_min, c.ver_max);
    EXPECT_EQ(c.found, result.found) << c.code << " " << c.ver_min << "-" << c.ver_max;
    EXPECT_EQ(c.values, result.values) << c.code;
  }
}

TEST_F(MsiSearchTest, ComponentByCode) {
  EXPECT_TRUE(Find(11, kComponentA).found);
  EXPECT_FALSE(Find(11, kNeverInstalled).found);
  EXPECT_FALSE(Find(11, L"{not-a-guid}").found);
  EXPECT_FALSE(Find(11, L"").found);
}

TEST_F(MsiSearchTest, RelatedProductsByUpgradeCode) {
  ASSERT_EQ(0u, Msiexec(L"/i", L"B"));
  const struct {
    const wchar_t *ver_min, *ver_max;
    bool found;
  } ranges[] = {
      {L"", L"", true},        {L"2", L"", true},      {L"", L"1.6", true},
      {L"1.6", L"2.3", false}, {L"2.3.8", L"", false}, {L"1.5", L"1.5", true},
  };
  for (const auto& r : ranges) {
    SearchResult result = Find(4, kUpgradeCode, r.ver_min, r.ver_max);
    EXPECT_EQ(r.found, result.found) << r.ver_min << "-" << r.ver_max;
    EXPECT_EQ((std::vector<std::wstring>{L"1.5.0", L"2.3.7"}), result.values);
  }
  EXPECT_EQ(std::vector<std::wstring>{L"2.3.7"}, Find(3, kProductB).values);
  EXPECT_TRUE(Find(11, kComponentB).found);

  // Once removed, the product and its component are gone from every search.
  // (Wine's msiexec drops the whole upgrade-code registration then, A's too,
  // so only B's absence is checked.)
  ASSERT_EQ(0u, Msiexec(L"/x", L"B"));
  const std::vector<std::wstring> related = Find(4, kUpgradeCode).values;
  EXPECT_EQ(related.end(), std::find(related.begin(), related.end(), L"2.3.7"));
  EXPECT_FALSE(Find(3, kProductB).found);
  EXPECT_FALSE(Find(11, kComponentB).found);
  EXPECT_FALSE(Find(4, kNeverInstalled).found);
}
}  // namespace
