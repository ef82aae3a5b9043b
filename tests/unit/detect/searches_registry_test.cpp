// The registry searches against the real registry of the test prefix, which
// holds different data in its 32-bit and 64-bit views of HKLM\Software.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "detect/searches.h"
#include "searches_test_support.h"

namespace {
const wchar_t kKey[] = L"Software\\ChainerSearchTest";
const std::wstring kHklm = L"HKLM\\Software\\ChainerSearchTest";
const std::wstring kLongSubkey = L"1.9" + std::wstring(252, L'x');  // 255, the longest allowed
const std::wstring kLongValueName = L"7.3" + std::wstring(1000, L'v');

using DeleteKeyExFn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);

void DeleteTree(HKEY parent, const std::wstring& path, REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) return;
  wchar_t name[300];
  DWORD length = 300;
  while (RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS) {
    DeleteTree(key, name, view);
    length = 300;
  }
  RegCloseKey(key);
  static const DeleteKeyExFn delete_key_ex = reinterpret_cast<DeleteKeyExFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"advapi32"), "RegDeleteKeyExW")));
  delete_key_ex(parent, path.c_str(), view, 0);
}

HKEY CreateKey(HKEY root, const std::wstring& path, REGSAM view) {
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view,
                                           nullptr, &key, nullptr))
      << path;
  return key;
}

void SetBytes(HKEY key, const std::wstring& name, DWORD type, const void* data, size_t size) {
  EXPECT_EQ(ERROR_SUCCESS,
            RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data),
                           static_cast<DWORD>(size)));
}

// Stored with the terminator unless the byte count says otherwise.
void SetText(HKEY key, const std::wstring& name, const std::wstring& text, DWORD type = REG_SZ) {
  SetBytes(key, name, type, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

// Names come back in the registry's order, which is not the order of writing.
std::vector<std::wstring> Sorted(std::vector<std::wstring> names) {
  std::sort(names.begin(), names.end());
  return names;
}

class RegistrySearchTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    TearDownTestSuite();
    HKEY key32 = CreateKey(HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_32KEY);
    for (const wchar_t* name : {L"1.6", L"1.8"}) RegCloseKey(CreateKey(key32, name, 0));
    RegCloseKey(CreateKey(key32, kLongSubkey, 0));
    SetText(key32, L"Text", L"1.7.2");
    SetText(key32, L"Expand", L"%SystemRoot%", REG_EXPAND_SZ);
    SetText(key32, L"Multi", std::wstring(L"10.0.19041\0second\0", 18), REG_MULTI_SZ);
    const DWORD number = 12;
    SetBytes(key32, L"Number", REG_DWORD, &number, sizeof(number));
    SetBytes(key32, L"Binary", REG_BINARY, "\x01\x02\x03", 3);
    SetBytes(key32, L"NoNul", REG_SZ, L"5.1", 3 * sizeof(wchar_t));  // no terminator stored
    SetText(key32, L"Huge", L"4294967296.1");
    SetText(key32, L"4.2", L"");
    SetText(key32, kLongValueName, L"");
    RegCloseKey(key32);

    HKEY key64 = CreateKey(HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_64KEY);
    RegCloseKey(CreateKey(key64, L"3.0", 0));
    RegCloseKey(CreateKey(key64, L"Only64Key", 0));
    SetText(key64, L"Text", L"3.1");
    SetText(key64, L"6.4", L"");
    RegCloseKey(key64);

    HKEY users = CreateKey(HKEY_USERS, std::wstring(L".DEFAULT\\") + kKey, 0);
    SetText(users, L"Text", L"8.8");
    RegCloseKey(users);
  }
  static void TearDownTestSuite() {
    DeleteTree(HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_32KEY);
    DeleteTree(HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_64KEY);
    DeleteTree(HKEY_USERS, std::wstring(L".DEFAULT\\") + kKey, 0);
  }
};

TEST_F(RegistrySearchTest, EveryTypeInBothViews) {
  const std::wstring value = kHklm + L"\\";
  const struct {
    int32_t type;
    std::wstring path;
    std::wstring ver_min, ver_max, ref;
    bool wow64, windows_64bit;
    bool found;
    std::vector<std::wstring> values;
  } cases[] = {
      // Subkey names as versions; "x" reads the 64-bit view only where it exists.
      {1, kHklm, L"1.7", L"", L"", false, true, true, {L"1.6", L"1.8", kLongSubkey}},
      {1, kHklm, L"1.7", L"1.7", L"", false, true, false, {L"1.6", L"1.8", kLongSubkey}},
      {1, kHklm, L"2", L"", L"", true, true, true, {L"3.0", L"Only64Key"}},
      {1, kHklm, L"2", L"", L"", true, false, false, {L"1.6", L"1.8", kLongSubkey}},
      {1, kHklm + L"\\Missing", L"", L"", L"", false, true, false, {}},
      // Values as text.
      {2, value + L"Text", L"1.7", L"1.8", L"", false, true, true, {L"1.7.2"}},
      {2, value + L"Text", L"", L"", L"", true, true, true, {L"3.1"}},
      {2, value + L"Text", L"", L"", L"", true, false, true, {L"1.7.2"}},
      {2, value + L"Number", L"12", L"12", L"", false, true, true, {L"12"}},
      {2, value + L"Expand", L"", L"", L"", false, true, true, {L"%SystemRoot%"}},
      {2,
       value + L"Multi",
       L"",
       L"",
       L"",
       false,
       true,
       true,
       {std::wstring(L"10.0.19041\0second", 17)}},
      {2, value + L"NoNul", L"5.1", L"5.1", L"", false, true, true, {L"5.1"}},
      {2, value + L"Binary", L"", L"", L"", false, true, false, {}},                // not text
      {2, value + L"Huge", L"1", L"", L"", false, true, false, {L"4294967296.1"}},  // no version
      {2, value + L"Missing", L"", L"", L"", false, true, false, {}},
      // Keys and values that exist or not.
      {5, kHklm, L"", L"", L"", false, true, true, {}},
      {5, kHklm + L"\\Only64Key", L"", L"", L"", true, true, true, {}},
      {5, kHklm + L"\\Only64Key", L"", L"", L"", true, false, false, {}},
      {5, kHklm + L"\\Only64Key", L"", L"", L"", false, true, false, {}},
      {6, kHklm + L"\\Only64Key", L"", L"", L"", false, true, true, {}},
      {6, kHklm, L"", L"", L"", false, true, false, {}},
      {7, value + L"Binary", L"", L"", L"", false, true, true, {}},  // any type exists
      {7, value + L"Missing", L"", L"", L"", false, true, false, {}},
      {7, kHklm + L"\\Only64Key\\", L"", L"", L"", true, true, false, {}},  // no default value
      {8, value + L"Missing", L"", L"", L"", false, true, true, {}},
      {8, kHklm + L"\\Missing\\Text", L"", L"", L"", false, true, true, {}},
      {8, value + L"Text", L"", L"", L"", false, true, false, {}},
      // Values compared.
      {9, value + L"Text", L"", L"", L"M1.7.2", false, true, true, {}},
      {9, value + L"Text", L"", L"", L"M3.1", true, true, true, {}},
      {9, value + L"Multi", L"", L"", L"S10.", false, true, true, {}},
      {9, value + L"Number", L"", L"", L"G5", false, true, true, {}},
      {9, value + L"Number", L"", L"", L"L5", false, true, false, {}},
      {9, value + L"Binary", L"", L"", L"X", false, true, false, {}},  // unreadable: never found
      {9, value + L"Missing", L"", L"", L"D1", false, true, false, {}},
      // Value names; with "x" always the 64-bit view.
      {12,
       kHklm,
       L"4",
       L"5",
       L"",
       false,
       false,
       true,
       {L"Text", L"Expand", L"Multi", L"Number", L"Binary", L"NoNul", L"Huge", L"4.2",
        kLongValueName}},
      {12, kHklm, L"6", L"", L"", true, false, true, {L"Text", L"6.4"}},
      // Roots: any unknown first component is HKEY_USERS.
      {2,
       L"HKU\\.DEFAULT\\Software\\ChainerSearchTest\\Text",
       L"",
       L"",
       L"",
       false,
       true,
       true,
       {L"8.8"}},
      {2,
       L"Vendor\\.DEFAULT\\Software\\ChainerSearchTest\\Text",
       L"",
       L"",
       L"",
       false,
       true,
       true,
       {L"8.8"}},
      {5,
       L"hkey_users\\.DEFAULT\\Software\\ChainerSearchTest",
       L"",
       L"",
       L"",
       false,
       true,
       true,
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "type " << c.type << " " << std::string(c.path.begin(), c.path.end())
                 << " x=" << c.wow64 << " win64=" << c.windows_64bit);
    SearchResult result = RunOn(MakeSearch(c.type, c.path, c.ver_min, c.ver_max, c.ref), c.wow64,
                                Platform(c.windows_64bit));
    EXPECT_EQ(c.found, result.found);
    EXPECT_EQ(Sorted(c.values), Sorted(result.values));
  }
}

// The running program with the facts it reads itself: the 64-bit program
// reads the WOW6432Node copy without "x" just as the 32-bit program does.
TEST_F(RegistrySearchTest, TheRunningProgramReadsTheViewTheLetterAsksFor) {
  BOOL wow64_process = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64_process);
  if (sizeof(void*) == 4 && !wow64_process) GTEST_SKIP() << "one registry view only";
  ChainerConfig config;
  const SearchEntry search = MakeSearch(2, kHklm + L"\\Text");
  EXPECT_EQ(std::vector<std::wstring>{L"1.7.2"}, RunSearch(search, false, config).values);
  EXPECT_EQ(std::vector<std::wstring>{L"3.1"}, RunSearch(search, true, config).values);
}

TEST_F(RegistrySearchTest, PathWithoutRootNeverOpens) {
  // A path without "\" names no root: nothing opens, so only the "missing"
  // types are found.
  for (int32_t type : {1, 2, 5, 6, 7, 8, 9, 12}) {
    for (bool wow64 : {false, true}) {
      SearchResult result = RunOn(MakeSearch(type, L"HKLM", L"", L"", L"X"), wow64, Platform(true));
      EXPECT_EQ(type == 6 || type == 8, result.found) << type;
      EXPECT_TRUE(result.values.empty()) << type;
    }
  }
}
}  // namespace
