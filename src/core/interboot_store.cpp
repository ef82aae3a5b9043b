#include "core/interboot_store.h"

#include <windows.h>

#include <vector>

#include "core/chainer_config.h"
#include "util/unique_handle.h"
#include "util/wide_format.h"

namespace {
// Reads a REG_SZ value with the ANSI functions; starts at 260 bytes and grows
// to the size the registry reports.
bool QueryText(HKEY key, const std::string& name, std::string* text) {
  std::vector<char> buffer(260);
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = static_cast<DWORD>(buffer.size());
    DWORD type = 0;
    LONG status = RegQueryValueExA(key, name.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (status == ERROR_MORE_DATA) {
      buffer.resize(size + 1);
      continue;
    }
    if (status != ERROR_SUCCESS) return false;
    size_t length = size < buffer.size() ? size : buffer.size();
    while (length > 0 && buffer[length - 1] == '\0') --length;
    text->assign(buffer.data(), length);
    return true;
  }
  return false;
}
}  // namespace

InterbootStore::InterbootStore(ChainerConfig& config, EndHook end_hook)
    : end_hook_(end_hook), hook_argument_(config) {}

InterbootStore::~InterbootStore() {
  if (end_hook_) end_hook_(*this, hook_argument_);
  if (delete_at_end) RegDeleteKeyA(HKEY_CURRENT_USER, key_name.c_str());
}

void InterbootStore::SetInt(const std::string& name, int32_t value) {
  SetString(name, FormatA("%ld", static_cast<long>(value)));
}

int32_t InterbootStore::SetString(const std::string& name, const std::string& text) {
  // A setup without a property name has nowhere to put its code: writing the
  // key's unnamed default value would only leave a stray value behind.
  if (name.empty()) return 3;
  std::string present;
  if (GetString(name, &present) == 0) return 3;
  UniqueRegKey key;
  if (RegCreateKeyA(HKEY_CURRENT_USER, key_name.c_str(), key.put()) != ERROR_SUCCESS) return 3;
  LONG status =
      RegSetValueExA(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                     static_cast<DWORD>(text.size()));
  return status == ERROR_SUCCESS ? 0 : 3;
}

int32_t InterbootStore::GetInt(const std::string& name, int32_t* value) {
  std::string text;
  if (GetString(name, &text) != 0 || text.empty()) return 2;
  size_t i = text[0] == '-' ? 1 : 0;
  if (i == text.size()) return 2;
  int64_t number = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return 2;
    number = number * 10 + (text[i] - '0');
    if (number > 0x80000000LL) return 2;
  }
  if (text[0] == '-') number = -number;
  if (number > INT32_MAX) return 2;
  *value = static_cast<int32_t>(number);
  return 0;
}

int32_t InterbootStore::GetString(const std::string& name, std::string* text) {
  UniqueRegKey key;
  if (RegOpenKeyA(HKEY_CURRENT_USER, key_name.c_str(), key.put()) != ERROR_SUCCESS) return 1;
  return QueryText(key.get(), name, text) ? 0 : 1;
}

int32_t InterbootStore::DeleteValue(const std::string& name) {
  UniqueRegKey key;
  LONG status = RegOpenKeyA(HKEY_CURRENT_USER, key_name.c_str(), key.put());
  if (status != ERROR_SUCCESS) return status;
  return RegDeleteValueA(key.get(), name.c_str());
}

std::pair<std::string, std::string> InterbootStore::ValueIterator::operator*() const {
  UniqueRegKey key;
  std::pair<std::string, std::string> value;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key_name_->c_str(), 0, KEY_READ, key.put()) !=
      ERROR_SUCCESS) {
    return value;
  }
  char name[16384];
  DWORD length = sizeof(name);
  if (RegEnumValueA(key.get(), index_, name, &length, nullptr, nullptr, nullptr, nullptr) ==
      ERROR_SUCCESS) {
    value.first.assign(name, length);
    QueryText(key.get(), value.first, &value.second);
  }
  return value;
}

InterbootStore::ValueIterator InterbootStore::BeginValues() {
  return ValueIterator(&key_name, 0);
}

InterbootStore::ValueIterator InterbootStore::EndValues() {
  UniqueRegKey key;
  DWORD count = 0;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"InterbootContext", 0, KEY_READ, key.put()) ==
      ERROR_SUCCESS) {
    RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                     nullptr, nullptr, nullptr, nullptr);
  }
  return ValueIterator(&key_name, count);
}

void CopyStoredReturnValues(InterbootStore& store, ChainerConfig& config) {
  for (auto it = store.BeginValues(); it != store.EndValues(); ++it) {
    const std::pair<std::string, std::string> value = *it;
    for (Prerequisite& record : config.prerequisites) {
      if (!record.ret_val_prop_name.empty() && ToAnsi(record.ret_val_prop_name) == value.first) {
        record.ret_val = FromAnsi(value.second);
      }
    }
  }
}
