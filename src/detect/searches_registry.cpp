// The registry searches: key and value existence, values read as text or
// compared, subkey and value names collected.
#include <vector>

#include "detect/compare_reference.h"
#include "detect/registry_value.h"
#include "detect/searches_internal.h"

namespace {
// Longest names the registry stores, plus the terminator.
constexpr DWORD kSubkeyNameBuffer = 261;
constexpr DWORD kValueNameBuffer = 16384;

bool OpenKey(const std::wstring& key_path, REGSAM view, UniqueRegKey* key) {
  return OpenRegistryKey(key_path, KEY_READ | view, key) == ERROR_SUCCESS;
}

// Opens the key of a value path; the value name goes to *value_name.
bool OpenValueKey(const std::wstring& value_path, REGSAM view, UniqueRegKey* key,
                  std::wstring* value_name) {
  RegistryValuePath parts;
  if (!SplitRegistryValuePath(value_path, &parts)) return false;
  *value_name = parts.value_name;
  return RegOpenKeyExW(RegistryRootKey(parts.root), parts.key.c_str(), 0, KEY_READ | view,
                       key->put()) == ERROR_SUCCESS;
}

void CollectSubkeyNames(HKEY key, std::vector<std::wstring>* values) {
  std::vector<wchar_t> name(kSubkeyNameBuffer);
  for (DWORD index = 0;; ++index) {
    DWORD length = kSubkeyNameBuffer;
    LONG result =
        RegEnumKeyExW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_MORE_DATA) continue;  // a name too long to be a version
    if (result != ERROR_SUCCESS) return;
    values->emplace_back(name.data(), length);
  }
}

void CollectValueNames(HKEY key, std::vector<std::wstring>* values) {
  std::vector<wchar_t> name(kValueNameBuffer);
  for (DWORD index = 0;; ++index) {
    DWORD length = kValueNameBuffer;
    LONG result =
        RegEnumValueW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_MORE_DATA) continue;
    if (result != ERROR_SUCCESS) return;
    values->emplace_back(name.data(), length);
  }
}

bool ValueExists(const std::wstring& value_path, REGSAM view) {
  UniqueRegKey key;
  std::wstring value_name;
  if (!OpenValueKey(value_path, view, &key, &value_name)) return false;
  return RegQueryValueExW(key.get(), value_name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS;
}

bool ReadValue(const std::wstring& value_path, REGSAM view, std::wstring* text) {
  UniqueRegKey key;
  std::wstring value_name;
  if (!OpenValueKey(value_path, view, &key, &value_name)) return false;
  return ReadValueText(key.get(), value_name, text);
}
}  // namespace

bool RunRegistrySearch(const SearchEntry& search, REGSAM view, std::vector<std::wstring>* values) {
  const std::wstring& path = search.search_string;
  UniqueRegKey key;
  switch (search.type) {
    case kRegistrySubkeys:
      if (OpenKey(path, view, &key)) CollectSubkeyNames(key.get(), values);
      return false;
    case kRegistryValueNames:
      if (OpenKey(path, view, &key)) CollectValueNames(key.get(), values);
      return false;
    case kRegistryValue: {
      std::wstring text;
      if (ReadValue(path, view, &text)) values->push_back(text);
      return false;
    }
    case kKeyExists:
      return OpenKey(path, view, &key);
    case kKeyMissing:
      return !OpenKey(path, view, &key);
    case kValueExists:
      return ValueExists(path, view);
    case kValueMissing:
      return !ValueExists(path, view);
    case kValueCompare: {
      std::wstring text;
      return ReadValue(path, view, &text) && CompareReference(text, search.ref_content);
    }
    default:
      return false;
  }
}
