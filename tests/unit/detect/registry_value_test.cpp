#include "detect/registry_value.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

TEST(RegistryPathTest, RootFromFirstComponent) {
  const struct {
    const wchar_t* path;
    bool has_root;
    RegistryRoot root;
  } cases[] = {
      {L"HKLM\\Software", true, RegistryRoot::LocalMachine},
      {L"hkey_local_machine\\Software", true, RegistryRoot::LocalMachine},
      {L"HKCU\\x", true, RegistryRoot::CurrentUser},
      {L"HKEY_CURRENT_USER\\x", true, RegistryRoot::CurrentUser},
      {L"hkcr\\x", true, RegistryRoot::ClassesRoot},
      {L"HKEY_CLASSES_ROOT\\x", true, RegistryRoot::ClassesRoot},
      {L"HKCC\\x", true, RegistryRoot::CurrentConfig},
      {L"HKEY_CURRENT_CONFIG\\x", true, RegistryRoot::CurrentConfig},
      {L"HKU\\.DEFAULT", true, RegistryRoot::Users},  // every other word means HKEY_USERS
      {L"Software\\Vendor", true, RegistryRoot::Users},
      {L"\\x", true, RegistryRoot::Users},
      {L"HKLMX\\x", true, RegistryRoot::Users},  // a prefix is not the name
      {L"HKLM", false, RegistryRoot::Users},     // no "\": no root at all
      {L"", false, RegistryRoot::Users},
  };
  for (const auto& c : cases) {
    RegistryRoot root = RegistryRoot::Users;
    EXPECT_EQ(c.has_root, RegistryRootFromPath(c.path, &root)) << c.path;
    if (c.has_root) {
      EXPECT_EQ(c.root, root) << c.path;
    }
  }
  EXPECT_EQ(HKEY_LOCAL_MACHINE, ParseRegistryRoot(L"HKLM\\x"));
  EXPECT_EQ(HKEY_USERS, ParseRegistryRoot(L"HKU\\x"));
  EXPECT_EQ(nullptr, ParseRegistryRoot(L"HKLM"));
}

TEST(RegistryPathTest, SplitsKeyAndValuePaths) {
  RegistryValuePath value;
  ASSERT_TRUE(SplitRegistryValuePath(L"HKLM\\Software\\Vendor\\Path", &value));
  EXPECT_EQ(RegistryRoot::LocalMachine, value.root);
  EXPECT_EQ(L"Software\\Vendor", value.key);
  EXPECT_EQ(L"Path", value.value_name);

  ASSERT_TRUE(SplitRegistryValuePath(L"HKCU\\Software\\Vendor\\", &value));
  EXPECT_EQ(L"Software\\Vendor", value.key);
  EXPECT_EQ(L"", value.value_name);  // the default value

  ASSERT_TRUE(SplitRegistryValuePath(L"HKCU\\Name", &value));  // a value of the root itself
  EXPECT_EQ(L"", value.key);
  EXPECT_EQ(L"Name", value.value_name);

  EXPECT_FALSE(SplitRegistryValuePath(L"Name", &value));

  RegistryKeyPath key;
  ASSERT_TRUE(SplitRegistryKeyPath(L"HKEY_CLASSES_ROOT\\.txt\\ShellNew", &key));
  EXPECT_EQ(RegistryRoot::ClassesRoot, key.root);
  EXPECT_EQ(L".txt\\ShellNew", key.key);
}

std::vector<BYTE> Bytes(const std::string& bytes) {
  return {bytes.begin(), bytes.end()};
}

TEST(RegistryDataToTextTest, TextAndNumbers) {
  const struct {
    DWORD type;
    std::string data;
    size_t size;  // bytes the registry reported; data may hold more
    bool ok;
    std::wstring text;
  } cases[] = {
      {REG_SZ, std::string("a\0b\0\0\0", 6), 6, true, L"ab"},
      {REG_SZ, std::string("a\0b\0X\0", 6), 4, true, L"ab"},   // no NUL: stop at the size
      {REG_SZ, std::string("a\0b\0X\0", 6), 5, true, L"ab"},   // odd size: half a character
      {REG_SZ, std::string("a\0\0\0\0\0", 6), 6, true, L"a"},  // every trailing NUL goes
      {REG_SZ, std::string("", 0), 0, true, L""},
      {REG_SZ, std::string("X", 1), 1, true, L""},
      {REG_EXPAND_SZ, std::string("%\0T\0%\0\0\0", 8), 8, true, L"%T%"},  // not expanded
      {REG_MULTI_SZ, std::string("a\0\0\0b\0\0\0\0\0", 10), 10, true, std::wstring(L"a\0b", 3)},
      {REG_DWORD, std::string("\xff\xff\xff\xff", 4), 4, true, L"4294967295"},
      {REG_DWORD, std::string("\x2a\0\0\0", 4), 4, true, L"42"},
      {REG_DWORD, std::string("\x2a\0\0\0", 4), 2, false, L""},  // too short to be a number
      {REG_QWORD, std::string(8, '\0'), 8, false, L""},
      {REG_BINARY, std::string("a\0", 2), 2, false, L""},
      {REG_DWORD_BIG_ENDIAN, std::string(4, '\0'), 4, false, L""},
      {REG_NONE, std::string(), 0, false, L""},
  };
  for (const auto& c : cases) {
    std::vector<BYTE> data = Bytes(c.data);
    std::wstring text = L"unchanged";
    EXPECT_EQ(c.ok, RegistryDataToText(c.type, data.data(), c.size, &text))
        << "type " << c.type << " size " << c.size;
    if (c.ok) {
      EXPECT_EQ(c.text, text) << "type " << c.type << " size " << c.size;
    }
  }
}

using RegDeleteKeyExWFn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);

// A key of its own under the root, in one registry view; removed with its
// values when the test ends.
class ScratchKey {
 public:
  ScratchKey(HKEY root, const std::wstring& name, REGSAM view)
      : root_(root), name_(name), view_(view) {
    RegCreateKeyExW(root, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key_.put(),
                    nullptr);
  }
  ~ScratchKey() {
    key_.reset();
    auto delete_key_ex = reinterpret_cast<RegDeleteKeyExWFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"advapi32.dll"), "RegDeleteKeyExW")));
    if (delete_key_ex) {
      delete_key_ex(root_, name_.c_str(), view_, 0);
    } else {
      RegDeleteKeyW(root_, name_.c_str());
    }
  }
  bool valid() const { return key_.valid(); }
  void Set(const wchar_t* name, DWORD type, const void* data, size_t size) {
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExW(key_.get(), name, 0, type, static_cast<const BYTE*>(data),
                             static_cast<DWORD>(size)));
  }
  void SetText(const wchar_t* name, DWORD type, const std::wstring& text, bool with_nul = true) {
    Set(name, type, text.c_str(), (text.size() + (with_nul ? 1 : 0)) * sizeof(wchar_t));
  }

 private:
  HKEY root_;
  std::wstring name_;
  REGSAM view_;
  UniqueRegKey key_;
};

std::wstring TestKeyName() {
  return L"Software\\ChainerRegistryValueTest-" + std::to_wstring(GetCurrentProcessId());
}

// What the reader returns for a value path, or "(none)".
std::wstring Read(const std::wstring& path, bool wow64 = false) {
  std::wstring text;
  return ReadRegistryValueText(path, wow64, &text) ? text : L"(none)";
}

TEST(ReadRegistryValueTextTest, EveryValueTypeFromTheRealRegistry) {
  ScratchKey key(HKEY_CURRENT_USER, TestKeyName(), 0);
  ASSERT_TRUE(key.valid());
  const std::wstring base = L"HKCU\\" + TestKeyName() + L"\\";
  const std::wstring long_text(300, L'x');  // 602 bytes: past the first 200-byte buffer
  const std::wstring longer_text(5000, L'y');
  const DWORD number = 3000000000u;
  const unsigned long long quad = 5;
  const BYTE binary[] = {'a', 0, 'b', 0};
  key.SetText(L"sz", REG_SZ, L"C:\\Program Files\\App");
  key.SetText(L"expand", REG_EXPAND_SZ, L"%SystemRoot%\\x");
  key.Set(L"multi", REG_MULTI_SZ, L"one\0two\0\0", 10 * sizeof(wchar_t));
  key.Set(L"dword", REG_DWORD, &number, sizeof(number));
  key.Set(L"qword", REG_QWORD, &quad, sizeof(quad));
  key.Set(L"binary", REG_BINARY, binary, sizeof(binary));
  key.SetText(L"long", REG_SZ, long_text);
  key.SetText(L"longer", REG_MULTI_SZ, longer_text);
  key.SetText(L"long_no_nul", REG_SZ, long_text, false);
  key.SetText(L"no_nul", REG_SZ, L"abc", false);
  key.Set(L"odd", REG_SZ, L"abc", 5);                               // "ab" and half of "c"
  key.Set(L"exact", REG_SZ, std::wstring(100, L'e').c_str(), 200);  // fills the first buffer
  key.SetText(L"", REG_SZ, L"default");
  key.SetText(L"empty", REG_SZ, L"");

  const struct {
    const wchar_t* name;
    std::wstring expected;
  } cases[] = {
      {L"sz", L"C:\\Program Files\\App"},
      {L"expand", L"%SystemRoot%\\x"},
      {L"multi", std::wstring(L"one\0two", 7)},
      {L"dword", L"3000000000"},  // unsigned
      {L"qword", L"(none)"},
      {L"binary", L"(none)"},
      {L"long", long_text},
      {L"longer", longer_text},
      {L"long_no_nul", long_text},
      {L"no_nul", L"abc"},
      {L"odd", L"ab"},
      {L"exact", std::wstring(100, L'e')},
      {L"", L"default"},
      {L"empty", L""},
      {L"missing", L"(none)"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, Read(base + c.name)) << c.name;

  EXPECT_EQ(L"default", Read(L"HKEY_CURRENT_USER\\" + TestKeyName() + L"\\"));
  EXPECT_EQ(L"(none)", Read(L"HKCU\\Software\\NoSuchKeyForChainerTests\\sz"));
  EXPECT_EQ(L"(none)", Read(L"sz"));
}

TEST(ReadRegistryValueTextTest, ReadsTheViewItIsAskedFor) {
  // Both programs read the 32-bit view without "x": the 64-bit one must ask for it.
  BOOL wow64_process = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64_process);
  if (sizeof(void*) == 4 && !wow64_process) {
    GTEST_SKIP() << "one registry view only on 32-bit Windows";
  }

  ScratchKey key64(HKEY_LOCAL_MACHINE, TestKeyName(), KEY_WOW64_64KEY);
  ScratchKey key32(HKEY_LOCAL_MACHINE, TestKeyName(), KEY_WOW64_32KEY);
  ASSERT_TRUE(key64.valid());
  ASSERT_TRUE(key32.valid());
  key64.SetText(L"view", REG_SZ, L"64-bit");
  key32.SetText(L"view", REG_SZ, L"32-bit");
  key64.SetText(L"only64", REG_SZ, L"here");

  const std::wstring base = L"HKLM\\" + TestKeyName() + L"\\";
  EXPECT_EQ(L"64-bit", Read(base + L"view", true));
  EXPECT_EQ(L"32-bit", Read(base + L"view", false));
  EXPECT_EQ(L"here", Read(base + L"only64", true));
  EXPECT_EQ(L"(none)", Read(base + L"only64", false));
}

TEST(OpenRegistryKeyTest, OpensByPathAndRefusesAPathWithoutRoot) {
  ScratchKey scratch(HKEY_CURRENT_USER, TestKeyName(), 0);
  ASSERT_TRUE(scratch.valid());
  UniqueRegKey key;
  EXPECT_EQ(ERROR_SUCCESS, OpenRegistryKey(L"hkcu\\" + TestKeyName(), KEY_READ, &key));
  EXPECT_TRUE(key.valid());
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            OpenRegistryKey(L"HKCU\\Software\\NoSuchKeyForChainerTests", KEY_READ, &key));
  EXPECT_EQ(ERROR_BAD_PATHNAME, OpenRegistryKey(L"HKCU", KEY_READ, &key));
}

}  // namespace
