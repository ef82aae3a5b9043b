// The restart-surviving store against the real registry of the test prefix.
#include "core/interboot_store.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "core/chainer_config.h"
#include "util/unique_handle.h"
#include "util/wide_format.h"

namespace {
const wchar_t kKey[] = L"InterbootContext";

bool KeyExists() {
  UniqueRegKey key;
  return RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// What the registry holds under the name, through the Unicode functions.
struct RawValue {
  LONG status = ERROR_FILE_NOT_FOUND;
  DWORD type = 0;
  std::string bytes;
};

RawValue ReadRawW(const std::wstring& name) {
  RawValue raw;
  UniqueRegKey key;
  raw.status = RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, key.put());
  if (raw.status != ERROR_SUCCESS) return raw;
  DWORD size = 0;
  raw.status = RegQueryValueExW(key.get(), name.c_str(), nullptr, &raw.type, nullptr, &size);
  if (raw.status != ERROR_SUCCESS) return raw;
  raw.bytes.resize(size);
  raw.status = RegQueryValueExW(key.get(), name.c_str(), nullptr, &raw.type,
                                reinterpret_cast<BYTE*>(&raw.bytes[0]), &size);
  raw.bytes.resize(size);
  return raw;
}

void WriteRawA(const std::string& name, DWORD type, const std::string& bytes) {
  UniqueRegKey key;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "InterbootContext", key.put()), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key.get(), name.c_str(), 0, type,
                           reinterpret_cast<const BYTE*>(bytes.data()),
                           static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
}

std::string Utf16Bytes(const std::wstring& text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// Drops the one UTF-16 terminator that the system may have appended.
std::string WithoutTerminator(std::string bytes) {
  if (bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, std::string(2, '\0')) == 0) {
    bytes.resize(bytes.size() - 2);
  }
  return bytes;
}

ChainerConfig WithReturnValueNames(std::initializer_list<const wchar_t*> names) {
  ChainerConfig config;
  for (const wchar_t* name : names) {
    Prerequisite record;
    record.name = std::wstring(L"P-") + name;
    record.ret_val_prop_name = name;
    config.prerequisites.push_back(record);
  }
  return config;
}

class InterbootStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteKeyW(HKEY_CURRENT_USER, kKey); }
  void TearDown() override { RegDeleteKeyW(HKEY_CURRENT_USER, kKey); }
  ChainerConfig config_;
};

TEST_F(InterbootStoreTest, IntegersAreDecimalAnsiTextWithoutTerminator) {
  InterbootStore store(config_, nullptr);
  store.SetInt("RET_A", 3010);
  store.SetInt("RET_NEG", -1073741819);
  store.SetInt("RET_MIN", INT32_MIN);

  // The Unicode view: exactly the digits. The store hands over the text's
  // bytes without a terminator; the system itself adds one when the byte after
  // the data is zero (as Windows NT does), and nothing else may follow.
  RawValue wide = ReadRawW(L"RET_A");
  ASSERT_EQ(wide.status, ERROR_SUCCESS);
  EXPECT_EQ(wide.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(WithoutTerminator(wide.bytes), Utf16Bytes(L"3010"));
  EXPECT_EQ(WithoutTerminator(ReadRawW(L"RET_NEG").bytes), Utf16Bytes(L"-1073741819"));
  EXPECT_EQ(WithoutTerminator(ReadRawW(L"RET_MIN").bytes), Utf16Bytes(L"-2147483648"));

  // The ANSI view the store itself uses.
  UniqueRegKey key;
  ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "InterbootContext", key.put()), ERROR_SUCCESS);
  char buffer[64] = {};
  DWORD size = sizeof(buffer), type = 0;
  ASSERT_EQ(RegQueryValueExA(key.get(), "RET_A", nullptr, &type,
                             reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(std::string(buffer, strnlen(buffer, size)), "3010");

  int32_t value = 0;
  EXPECT_EQ(store.GetInt("RET_MIN", &value), 0);
  EXPECT_EQ(value, INT32_MIN);
}

TEST_F(InterbootStoreTest, TheFirstValueStaysAndResultCodesSayWhy) {
  InterbootStore store(config_, nullptr);
  EXPECT_EQ(store.SetString("NAME", "first"), 0);
  EXPECT_EQ(store.SetString("NAME", "second"), 3);
  store.SetInt("NAME", 7);
  std::string text;
  EXPECT_EQ(store.GetString("NAME", &text), 0);
  EXPECT_EQ(text, "first");

  // No name: nothing lands in the key's unnamed default value.
  EXPECT_EQ(store.SetString("", "x"), 3);
  EXPECT_EQ(ReadRawW(L"").status, ERROR_FILE_NOT_FOUND);

  EXPECT_EQ(store.SetString("EMPTY", ""), 0);
  EXPECT_EQ(store.GetString("EMPTY", &text), 0);
  EXPECT_EQ(text, "");
}

TEST_F(InterbootStoreTest, MissingKeyAndMissingValueAreOutcomes) {
  InterbootStore store(config_, nullptr);
  std::string text = "untouched";
  int32_t value = 42;
  EXPECT_EQ(store.GetString("NONE", &text), 1);  // no key at all
  EXPECT_EQ(store.GetInt("NONE", &value), 2);
  EXPECT_NE(store.DeleteValue("NONE"), 0);
  EXPECT_FALSE(KeyExists()) << "reading must not create the key";

  store.SetInt("OTHER", 1);
  EXPECT_EQ(store.GetString("NONE", &text), 1);  // key, but no such value
  EXPECT_EQ(store.GetInt("NONE", &value), 2);
  EXPECT_EQ(value, 42);
  EXPECT_EQ(text, "untouched");
}

TEST_F(InterbootStoreTest, DeleteValueRemovesOnlyThatValueAndAllowsANewFirst) {
  InterbootStore store(config_, nullptr);
  store.SetInt("A", 1);
  store.SetInt("B", 2);
  EXPECT_EQ(store.DeleteValue("A"), 0);
  EXPECT_NE(store.DeleteValue("A"), 0);
  std::string text;
  EXPECT_EQ(store.GetString("A", &text), 1);
  EXPECT_EQ(store.GetString("B", &text), 0);
  EXPECT_EQ(text, "2");
  store.SetInt("A", 5);
  EXPECT_EQ(store.GetString("A", &text), 0);
  EXPECT_EQ(text, "5");
}

TEST_F(InterbootStoreTest, GetIntWantsTheWholeTextToBeADecimalInteger) {
  struct Case {
    const char* text;
    int32_t result;
    int32_t value;
  } cases[] = {
      {"0", 0, 0},
      {"-0", 0, 0},
      {"3010", 0, 3010},
      {"007", 0, 7},
      {"-5", 0, -5},
      {"2147483647", 0, INT32_MAX},
      {"-2147483648", 0, INT32_MIN},
      {"2147483648", 2, 0},    // one past the largest
      {"-2147483649", 2, 0},   // one past the smallest
      {"99999999999999999999999", 2, 0},  // would wrap a 64-bit accumulator
      {"12a", 2, 0},
      {"a12", 2, 0},
      {"", 2, 0},
      {"-", 2, 0},
      {"--1", 2, 0},
      {"+1", 2, 0},
      {" 1", 2, 0},
      {"1 ", 2, 0},
      {"1.0", 2, 0},
  };
  InterbootStore store(config_, nullptr);
  int index = 0;
  for (const Case& c : cases) {
    const std::string name = "V" + std::to_string(index++);
    ASSERT_EQ(store.SetString(name, c.text), 0) << c.text;
    int32_t value = -12345;
    EXPECT_EQ(store.GetInt(name, &value), c.result) << '"' << c.text << '"';
    EXPECT_EQ(value, c.result == 0 ? c.value : -12345) << '"' << c.text << '"';
  }
}

TEST_F(InterbootStoreTest, TextsLongerThanTheFirstBufferAreReadWhole) {
  InterbootStore store(config_, nullptr);
  for (size_t length : {259u, 260u, 261u, 1000u, 70000u}) {
    std::string text(length, 'x');
    for (size_t i = 0; i < length; ++i) text[i] = static_cast<char>('a' + i % 26);
    const std::string name = "LONG" + std::to_string(length);
    ASSERT_EQ(store.SetString(name, text), 0);
    std::string read;
    ASSERT_EQ(store.GetString(name, &read), 0) << length;
    EXPECT_EQ(read, text) << length;
  }
  // A long value written by somebody else with its terminator is read the same.
  WriteRawA("TERMINATED", REG_SZ, std::string(300, 'z') + '\0');
  std::string read;
  ASSERT_EQ(store.GetString("TERMINATED", &read), 0);
  EXPECT_EQ(read, std::string(300, 'z'));
}

TEST_F(InterbootStoreTest, IterationYieldsEveryNameWithItsText) {
  InterbootStore store(config_, nullptr);
  EXPECT_FALSE(store.BeginValues() != store.EndValues()) << "no key: nothing to iterate";

  std::map<std::string, std::string> written = {
      {"RET_A", "0"}, {"RET_B", "3010"}, {"LONG", std::string(500, 'q')}};
  for (const auto& value : written) ASSERT_EQ(store.SetString(value.first, value.second), 0);
  std::map<std::string, std::string> seen;
  int steps = 0;
  for (auto it = store.BeginValues(); it != store.EndValues(); ++it) {
    seen.insert(*it);
    ++steps;
  }
  EXPECT_EQ(steps, 3);
  EXPECT_EQ(seen, written);
}

TEST_F(InterbootStoreTest, KeyGoesAtDestructionUnlessARestartKeepsIt) {
  {
    InterbootStore store(config_, nullptr);
    store.SetInt("RET", 0);
    EXPECT_TRUE(KeyExists());
  }
  EXPECT_FALSE(KeyExists());

  {
    InterbootStore store(config_, nullptr);
    store.SetInt("RET", 0);
    store.delete_at_end = false;
  }
  ASSERT_TRUE(KeyExists());
  {
    // The next run finds the value of the run before the restart, and the
    // first value stays.
    InterbootStore store(config_, nullptr);
    store.SetInt("RET", 1603);
    int32_t value = -1;
    EXPECT_EQ(store.GetInt("RET", &value), 0);
    EXPECT_EQ(value, 0);
  }
  EXPECT_FALSE(KeyExists());
}

TEST_F(InterbootStoreTest, EndHookRunsBeforeTheKeyIsDeleted) {
  static bool key_seen_by_hook;
  static int calls;
  key_seen_by_hook = false;
  calls = 0;
  {
    InterbootStore store(config_, [](InterbootStore& s, ChainerConfig&) {
      ++calls;
      std::string text;
      key_seen_by_hook = s.GetString("RET", &text) == 0 && text == "9";
    });
    store.SetInt("RET", 9);
  }
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(key_seen_by_hook);
  EXPECT_FALSE(KeyExists());
}

TEST_F(InterbootStoreTest, CopyStoredReturnValuesFillsEveryPrerequisiteOfThatName) {
  ChainerConfig config = WithReturnValueNames({L"RET_A", L"RET_B", L"RET_A", L"", L"RET_C"});
  {
    InterbootStore store(config, &CopyStoredReturnValues);
    store.SetInt("RET_A", 3010);
    store.SetInt("RET_B", -2);
    store.SetString("UNRELATED", "x");
  }
  EXPECT_EQ(config.prerequisites[0].ret_val, L"3010");
  EXPECT_EQ(config.prerequisites[1].ret_val, L"-2");
  EXPECT_EQ(config.prerequisites[2].ret_val, L"3010");
  EXPECT_EQ(config.prerequisites[3].ret_val, L"") << "no name takes no value";
  EXPECT_EQ(config.prerequisites[4].ret_val, L"") << "nothing stored under RET_C";
  EXPECT_FALSE(KeyExists());
}

TEST_F(InterbootStoreTest, NamesOutsideTheAnsiCodePageRoundTripThroughTheirConversion) {
  // Snowman, CJK and a character outside the basic plane: none of them is in
  // a Western ANSI code page, so the store receives the lossy conversion.
  const std::wstring names[] = {L"RET_\u2603", L"\u4E2D\u6587", L"R\U0001F600"};
  ChainerConfig config = WithReturnValueNames({names[0].c_str(), names[1].c_str(),
                                               names[2].c_str()});
  {
    InterbootStore store(config, &CopyStoredReturnValues);
    int32_t code = 1;
    for (const std::wstring& name : names) {
      const std::string ansi = ToAnsi(name);
      ASSERT_FALSE(ansi.empty());
      store.SetInt(ansi, code++);
      std::string text;
      EXPECT_EQ(store.GetString(ansi, &text), 0);
    }
  }
  // Each prerequisite gets the value stored under its own converted name.
  // Two names that convert alike share one value (the first stays).
  for (size_t i = 0; i < 3; ++i) {
    size_t first = i;
    for (size_t j = 0; j < i; ++j) {
      if (ToAnsi(names[j]) == ToAnsi(names[i])) {
        first = j;
        break;
      }
    }
    EXPECT_EQ(config.prerequisites[i].ret_val, std::to_wstring(first + 1)) << i;
  }
  EXPECT_FALSE(KeyExists());
}
}  // namespace
