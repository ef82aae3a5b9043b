#include "detect/registry_value.h"

#include <cstring>
#include <vector>

#include "util/path_text.h"
#include "util/process_bitness.h"
#include "util/wide_format.h"

namespace {
constexpr DWORD kFirstQuerySize = 200;
// A value that keeps growing between two queries is given up on rather than
// chased for ever.
constexpr int kMaxQueries = 8;

struct RootName {
  const wchar_t* short_name;
  const wchar_t* long_name;
  RegistryRoot root;
};
constexpr RootName kRootNames[] = {
    {L"HKLM", L"HKEY_LOCAL_MACHINE", RegistryRoot::LocalMachine},
    {L"HKCU", L"HKEY_CURRENT_USER", RegistryRoot::CurrentUser},
    {L"HKCR", L"HKEY_CLASSES_ROOT", RegistryRoot::ClassesRoot},
    {L"HKCC", L"HKEY_CURRENT_CONFIG", RegistryRoot::CurrentConfig},
};
}  // namespace

bool RegistryRootFromPath(const std::wstring& path, RegistryRoot* root) {
  size_t separator = path.find(L'\\');
  if (separator == std::wstring::npos) return false;
  const std::wstring first = path.substr(0, separator);
  for (const RootName& name : kRootNames) {
    if (EqualsIgnoreCaseAscii(first, name.short_name) ||
        EqualsIgnoreCaseAscii(first, name.long_name)) {
      *root = name.root;
      return true;
    }
  }
  *root = RegistryRoot::Users;
  return true;
}

bool SplitRegistryKeyPath(const std::wstring& path, RegistryKeyPath* out) {
  RegistryRoot root;
  if (!RegistryRootFromPath(path, &root)) return false;
  out->root = root;
  out->key = path.substr(path.find(L'\\') + 1);
  return true;
}

bool SplitRegistryValuePath(const std::wstring& path, RegistryValuePath* out) {
  RegistryRoot root;
  if (!RegistryRootFromPath(path, &root)) return false;
  size_t first = path.find(L'\\');
  size_t last = path.rfind(L'\\');
  out->root = root;
  out->key = last > first ? path.substr(first + 1, last - first - 1) : std::wstring();
  out->value_name = path.substr(last + 1);
  return true;
}

bool RegistryDataToText(DWORD type, const BYTE* data, size_t size, std::wstring* text) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ: {
      // Stored strings need not end with a NUL nor have an even length: only
      // whole characters inside the data are taken.
      std::wstring value(size / sizeof(wchar_t), L'\0');
      if (!value.empty()) std::memcpy(&value[0], data, value.size() * sizeof(wchar_t));
      size_t end = value.find_last_not_of(L'\0');
      value.resize(end == std::wstring::npos ? 0 : end + 1);
      *text = value;
      return true;
    }
    case REG_DWORD: {
      if (size < sizeof(DWORD)) return false;
      DWORD number = 0;
      std::memcpy(&number, data, sizeof(number));
      *text = FormatW(L"%u", static_cast<unsigned>(number));
      return true;
    }
    default:
      return false;
  }
}

HKEY RegistryRootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::LocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegistryRoot::CurrentUser:
      return HKEY_CURRENT_USER;
    case RegistryRoot::ClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegistryRoot::CurrentConfig:
      return HKEY_CURRENT_CONFIG;
    case RegistryRoot::Users:
      break;
  }
  return HKEY_USERS;
}

HKEY ParseRegistryRoot(const std::wstring& path) {
  RegistryRoot root;
  return RegistryRootFromPath(path, &root) ? RegistryRootKey(root) : nullptr;
}

REGSAM RegistryViewFlag(bool wants_64bit_view, bool process_is_64bit) {
  if (wants_64bit_view) return KEY_WOW64_64KEY;
  return process_is_64bit ? KEY_WOW64_32KEY : 0;
}

LONG OpenRegistryKey(const std::wstring& key_path, REGSAM access, UniqueRegKey* key) {
  RegistryKeyPath parts;
  if (!SplitRegistryKeyPath(key_path, &parts)) return ERROR_BAD_PATHNAME;
  return RegOpenKeyExW(RegistryRootKey(parts.root), parts.key.c_str(), 0, access, key->put());
}

bool ReadValueText(HKEY key, const std::wstring& value_name, std::wstring* text) {
  std::vector<BYTE> buffer(kFirstQuerySize);
  DWORD type = REG_NONE;
  DWORD size = static_cast<DWORD>(buffer.size());
  LONG result = RegQueryValueExW(key, value_name.c_str(), nullptr, &type, buffer.data(), &size);
  for (int query = 1; result == ERROR_MORE_DATA && query < kMaxQueries; ++query) {
    buffer.resize(static_cast<size_t>(size) + 2);
    size = static_cast<DWORD>(buffer.size());
    result = RegQueryValueExW(key, value_name.c_str(), nullptr, &type, buffer.data(), &size);
  }
  if (result != ERROR_SUCCESS || size > buffer.size()) return false;
  return RegistryDataToText(type, buffer.data(), size, text);
}

bool ReadRegistryValueText(const std::wstring& value_path, bool wow64, std::wstring* text) {
  RegistryValuePath parts;
  if (!SplitRegistryValuePath(value_path, &parts)) return false;
  UniqueRegKey key;
  REGSAM access = KEY_QUERY_VALUE | RegistryViewFlag(wow64, kProcessIs64Bit);
  if (RegOpenKeyExW(RegistryRootKey(parts.root), parts.key.c_str(), 0, access, key.put()) !=
      ERROR_SUCCESS) {
    return false;
  }
  return ReadValueText(key.get(), parts.value_name, text);
}
