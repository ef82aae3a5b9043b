// The registry reading for real: the test prefix's registry is made to look
// like other Windows versions, and everything is put back afterwards.
#include "detect/os_facts.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "util/unique_handle.h"

namespace {
const wchar_t kVersionKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion";
const wchar_t kProductOptionsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\ProductOptions";

UniqueRegKey OpenForWriting(const wchar_t* path) {
  UniqueRegKey key;
  EXPECT_EQ(ERROR_SUCCESS,
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0,
                            KEY_READ | KEY_WRITE | KEY_WOW64_64KEY, nullptr, key.put(), nullptr));
  return key;
}

// One registry value as it was, put back by the destructor.
class SavedValue {
 public:
  SavedValue(const wchar_t* key, const wchar_t* name) : key_(key), name_(name) {
    UniqueRegKey k = OpenForWriting(key_);
    DWORD size = 0;
    existed_ = RegQueryValueExW(k.get(), name_, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS;
    data_.resize(size);
    if (existed_ && size > 0) {
      RegQueryValueExW(k.get(), name_, nullptr, &type_, data_.data(), &size);
    }
  }
  ~SavedValue() {
    UniqueRegKey k = OpenForWriting(key_);
    if (existed_) {
      RegSetValueExW(k.get(), name_, 0, type_, data_.data(), static_cast<DWORD>(data_.size()));
    } else {
      RegDeleteValueW(k.get(), name_);
    }
  }

 private:
  const wchar_t* key_;
  const wchar_t* name_;
  bool existed_ = false;
  DWORD type_ = 0;
  std::vector<BYTE> data_;
};

void SetValue(const wchar_t* key_path, const wchar_t* name, DWORD type, const void* data,
              size_t size) {
  UniqueRegKey key = OpenForWriting(key_path);
  if (!data) {
    RegDeleteValueW(key.get(), name);
    return;
  }
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data),
                                          static_cast<DWORD>(size)));
}

void SetText(const wchar_t* key, const wchar_t* name, const wchar_t* text) {
  SetValue(key, name, REG_SZ, text, text ? (wcslen(text) + 1) * sizeof(wchar_t) : 0);
}

// suite: strings separated by '|'; nullptr deletes the value.
void SetMultiText(const wchar_t* key, const wchar_t* name, const wchar_t* suite) {
  if (!suite) return SetValue(key, name, REG_MULTI_SZ, nullptr, 0);
  std::wstring data(suite);
  for (wchar_t& c : data) {
    if (c == L'|') c = L'\0';
  }
  data.push_back(L'\0');
  data.push_back(L'\0');
  SetValue(key, name, REG_MULTI_SZ, data.data(), data.size() * sizeof(wchar_t));
}

void SetNumber(const wchar_t* key, const wchar_t* name, DWORD value, bool present) {
  SetValue(key, name, REG_DWORD, present ? &value : nullptr, sizeof(value));
}

// What a system writes into the two keys; nullptr means the value is missing.
struct Imitation {
  const char* system;
  bool has_numbers;  // CurrentMajorVersionNumber / CurrentMinorVersionNumber
  DWORD major_number, minor_number;
  const wchar_t* current_version;
  const wchar_t* build;
  const wchar_t* release_id;
  const wchar_t* csd;
  const wchar_t* product_type;
  const wchar_t* suite;
  // Expected
  int major, minor, build_number, sp, release;
  bool server;
  uint16_t suite_mask;
  const wchar_t* generic64;
  const wchar_t* detailed64;
  const wchar_t* generic32;
  const wchar_t* detailed32;
};

// clang-format off
const Imitation kImitations[] = {
    {"XP SP3", false, 0, 0, L"5.1", L"2600", nullptr, L"Service Pack 3", L"WinNT", nullptr,
     5, 1, 2600, 3, 1507, false, 0,
     L"Windows XP x86", L"Windows XP SP3 x86", L"Windows XP x86", L"Windows XP SP3 x86"},
    {"Vista SP2", false, 0, 0, L"6.0", L"6002", nullptr, L"Service Pack 2", L"WinNT", L"",
     6, 0, 6002, 2, 1507, false, 0,
     L"Windows Vista x64", L"Windows Vista SP2 x64", L"Windows Vista x86", L"Windows Vista SP2 x86"},
    {"7 SP1", false, 0, 0, L"6.1", L"7601", nullptr, L"Service Pack 1", L"WinNT", nullptr,
     6, 1, 7601, 1, 1507, false, 0,
     L"Windows 7 x64", L"Windows 7 SP1 x64", L"Windows 7 x86", L"Windows 7 SP1 x86"},
    {"8.1", false, 0, 0, L"6.3", L"9600", nullptr, nullptr, L"WinNT", nullptr,
     6, 3, 9600, 0, 1507, false, 0,
     L"Windows 8.1 x64", L"Windows 8.1 x64", L"Windows 8.1 x86", L"Windows 8.1 x86"},
    {"10 21H2", true, 10, 0, L"6.3", L"19044", L"2009", nullptr, L"WinNT", nullptr,
     10, 0, 19044, 0, 2009, false, 0,
     L"Windows 10 x64", L"Windows 10 version 21H2 x64",
     L"Windows 10 x86", L"Windows 10 version 21H2 x86"},
    {"11 22H2", true, 10, 0, L"6.3", L"22621", L"2009", nullptr, L"WinNT", nullptr,
     11, 0, 22621, 0, 2009, false, 0,
     L"Windows 11 x64", L"Windows 11 version 22H2 x64 (Preview)",
     L"Windows 11 x64", L"Windows 11 version 22H2 x64 (Preview)"},
    {"Server 2019", true, 10, 0, L"6.3", L"17763", L"1809", nullptr, L"ServerNT",
     L"Enterprise|Terminal Server", 10, 0, 17763, 0, 1809, true, 0x12,
     L"Windows Server x64", L"Windows Server 2019 x64",
     L"Windows 10 x86", L"Windows 10 version 1809 x86"},
    {"Server 2022 domain controller", true, 10, 0, L"6.3", L"20348", L"2009", nullptr,
     L"LanmanNT", L"Terminal Server|DataCenter", 10, 0, 20348, 0, 2009, true, 0x90,
     L"Windows Server x64", L"Windows Server 2022 x64",
     L"Windows 10 x86", L"Windows 10 version 21H2 x86"},
};
// clang-format on

// Whether this prefix is a 64-bit Windows, asked independently of the code
// under test: only 64-bit Windows has a SysWOW64 folder.
bool PrefixIs64Bit() {
  wchar_t windows[MAX_PATH];
  GetWindowsDirectoryW(windows, MAX_PATH);
  DWORD attributes = GetFileAttributesW((std::wstring(windows) + L"\\SysWOW64").c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(OsFactsTest, ReadsImitatedSystemsFromTheRegistry) {
  const bool x64 = PrefixIs64Bit();
  SavedValue saved[] = {
      {kVersionKey, L"CurrentMajorVersionNumber"},
      {kVersionKey, L"CurrentMinorVersionNumber"},
      {kVersionKey, L"CurrentVersion"},
      {kVersionKey, L"CurrentBuildNumber"},
      {kVersionKey, L"ReleaseId"},
      {kVersionKey, L"CSDVersion"},
      {kProductOptionsKey, L"ProductType"},
      {kProductOptionsKey, L"ProductSuite"},
  };
  (void)saved;
  for (const Imitation& os : kImitations) {
    SCOPED_TRACE(os.system);
    SetNumber(kVersionKey, L"CurrentMajorVersionNumber", os.major_number, os.has_numbers);
    SetNumber(kVersionKey, L"CurrentMinorVersionNumber", os.minor_number, os.has_numbers);
    SetText(kVersionKey, L"CurrentVersion", os.current_version);
    SetText(kVersionKey, L"CurrentBuildNumber", os.build);
    SetText(kVersionKey, L"ReleaseId", os.release_id);
    SetText(kVersionKey, L"CSDVersion", os.csd);
    SetText(kProductOptionsKey, L"ProductType", os.product_type);
    SetMultiText(kProductOptionsKey, L"ProductSuite", os.suite);

    OsFacts facts = ReadOsFacts();
    EXPECT_EQ(os.major, facts.major);
    EXPECT_EQ(os.minor, facts.minor);
    EXPECT_EQ(os.build_number, facts.build);
    EXPECT_EQ(os.sp, facts.service_pack);
    EXPECT_EQ(os.csd ? os.csd : L"", facts.csd_text);
    EXPECT_EQ(os.release, facts.release_id);
    EXPECT_EQ(os.server, facts.is_server);
    EXPECT_EQ(os.suite_mask, facts.suite_mask);
    EXPECT_EQ(x64, facts.is_64bit);
    EXPECT_EQ(x64 ? os.generic64 : os.generic32, GenericOsName(facts));
    EXPECT_EQ(x64 ? os.detailed64 : os.detailed32, DetailedOsName(facts));
  }
}

TEST(OsFactsTest, WrongValueTypesAreIgnored) {
  SavedValue saved[] = {{kVersionKey, L"CurrentMajorVersionNumber"},
                        {kVersionKey, L"CurrentBuildNumber"},
                        {kProductOptionsKey, L"ProductType"}};
  (void)saved;
  // A text where a number belongs, and numbers where texts belong.
  SetText(kVersionKey, L"CurrentMajorVersionNumber", L"10");
  SetNumber(kVersionKey, L"CurrentBuildNumber", 19044, true);
  SetNumber(kProductOptionsKey, L"ProductType", 3, true);
  OsFacts facts = ReadOsFacts();
  EXPECT_EQ(0, facts.build);
  EXPECT_EQ(1, facts.product_type);
  EXPECT_FALSE(facts.is_server);
  EXPECT_EQ(6, facts.major);  // from CurrentVersion "6.1" of the prefix
  EXPECT_EQ(1, facts.minor);
}

TEST(OsFactsTest, ReadsThe64BitViewOn64BitWindows) {
  if (!PrefixIs64Bit()) GTEST_SKIP() << "one registry view only";
  SavedValue saved(kVersionKey, L"ReleaseId");
  SetText(kVersionKey, L"ReleaseId", nullptr);
  // The WOW64 copy of the key that a 32-bit program sees by default.
  UniqueRegKey wow;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, kVersionKey, 0, nullptr, 0,
                            KEY_READ | KEY_WRITE | KEY_WOW64_32KEY, nullptr, wow.put(), nullptr));
  const wchar_t kWowRelease[] = L"1234";
  ASSERT_EQ(ERROR_SUCCESS,
            RegSetValueExW(wow.get(), L"ReleaseId", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(kWowRelease), sizeof(kWowRelease)));
  int32_t release_id = ReadOsFacts().release_id;
  RegDeleteValueW(wow.get(), L"ReleaseId");
  EXPECT_EQ(1507, release_id);
}

TEST(OsFactsTest, ProcessWideFactsAreReadOnceForEveryThread) {
  std::vector<const OsFacts*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&seen, i] { seen[i] = &GetOsFacts(); });
  }
  for (std::thread& t : threads) t.join();
  for (const OsFacts* facts : seen) EXPECT_EQ(seen[0], facts);
  // The prefix as Wine made it (the other tests put every value back).
  OsFacts now = ReadOsFacts();
  EXPECT_EQ(now.major, GetOsFacts().major);
  EXPECT_EQ(now.build, GetOsFacts().build);
  EXPECT_EQ(GenericOsName(now), GetGenericOsName());
  EXPECT_EQ(DetailedOsName(now), GetDetailedOsName());
  EXPECT_EQ(IsWindows10OrLater(now), IsWindows10OrLater());
}

TEST(OsFactsTest, DllVersion) {
  uint32_t ms = 0, ls = 0;
  // shell32 exports DllGetVersion; kernel32 does not and gives its file version.
  ASSERT_TRUE(GetDllVersion(L"shell32.dll", &ms, &ls));
  EXPECT_GE(ms >> 16, 5u);
  ms = 0;
  ASSERT_TRUE(GetDllVersion(L"kernel32.dll", &ms, &ls));
  EXPECT_NE(0u, ms);
  ms = 123;
  EXPECT_FALSE(GetDllVersion(L"no-such-library.dll", &ms, &ls));
  EXPECT_EQ(123u, ms);
}

TEST(OsFactsTest, FileProductName) {
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  std::wstring name = L"unchanged";
  ASSERT_TRUE(GetFileProductName(std::wstring(system) + L"\\kernel32.dll", &name));
  EXPECT_FALSE(name.empty());
  EXPECT_NE(L"unchanged", name);
  name = L"unchanged";
  EXPECT_FALSE(GetFileProductName(std::wstring(system) + L"\\no-such-file.dll", &name));
  EXPECT_EQ(L"unchanged", name);
}
}  // namespace
