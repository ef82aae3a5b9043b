#include "detect/os_facts.h"

#include <windows.h>
#include <shlwapi.h>

#include <vector>

#include "util/module_path.h"
#include "util/process_bitness.h"
#include "util/unique_handle.h"
#include "util/version_resource.h"

namespace {
const wchar_t kVersionKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion";
const wchar_t kProductOptionsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\ProductOptions";

// A 32-bit program without the 64-bit view would be answered from the WOW64
// copy of the keys; the flag changes nothing for the 64-bit program.
UniqueRegKey OpenMachineKey(const wchar_t* path) {
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_64KEY, key.put()) !=
      ERROR_SUCCESS) {
    key.release();
  }
  return key;
}

bool ReadDword(HKEY key, const wchar_t* name, uint32_t* value) {
  DWORD type = 0, data = 0, size = sizeof(data);
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(data)) {
    return false;
  }
  *value = data;
  return true;
}

// A string or multi-string value of at most max_bytes, with every character
// kept (the NULs between the strings of a multi-string too) and the trailing
// NULs dropped; the registry does not promise a terminator.
bool ReadText(HKEY key, const wchar_t* name, DWORD max_bytes, DWORD wanted_type,
              std::wstring* text) {
  std::vector<wchar_t> buffer(max_bytes / sizeof(wchar_t) + 1, L'\0');
  DWORD type = 0, size = max_bytes;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
          ERROR_SUCCESS ||
      type != wanted_type) {
    return false;
  }
  size_t length = size / sizeof(wchar_t);
  while (length > 0 && buffer[length - 1] == L'\0') --length;
  text->assign(buffer.data(), length);
  return true;
}

bool ReadString(HKEY key, const wchar_t* name, DWORD max_bytes, std::wstring* text) {
  return ReadText(key, name, max_bytes, REG_SZ, text);
}

std::vector<std::wstring> ReadMultiString(HKEY key, const wchar_t* name) {
  std::vector<std::wstring> strings;
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
    return strings;
  }
  std::wstring joined;
  if (!ReadText(key, name, size, REG_MULTI_SZ, &joined)) return strings;
  size_t start = 0;
  while (start < joined.size()) {
    size_t end = joined.find(L'\0', start);
    if (end == std::wstring::npos) end = joined.size();
    if (end > start) strings.push_back(joined.substr(start, end - start));
    start = end + 1;
  }
  return strings;
}

using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);

bool RunsUnderWow64() {
  // Windows XP before SP2 has no IsWow64Process; looked up once per process.
  static const IsWow64ProcessFn is_wow64_process = reinterpret_cast<IsWow64ProcessFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "IsWow64Process")));
  BOOL wow64 = FALSE;
  return is_wow64_process && is_wow64_process(GetCurrentProcess(), &wow64) && wow64;
}

}  // namespace

OsFacts ReadOsFacts() {
  OsRegistryValues values;
  if (UniqueRegKey key = OpenMachineKey(kVersionKey)) {
    ReadDword(key.get(), L"CurrentMajorVersionNumber", &values.major_number);
    ReadDword(key.get(), L"CurrentMinorVersionNumber", &values.minor_number);
    if (values.major_number == 0)
      ReadString(key.get(), L"CurrentVersion", 32, &values.current_version);
    ReadString(key.get(), L"CurrentBuildNumber", 520, &values.build_number);
    values.has_release_id = ReadString(key.get(), L"ReleaseId", 520, &values.release_id);
    ReadString(key.get(), L"CSDVersion", (kMaxCsdText + 1) * sizeof(wchar_t), &values.csd_version);
  }
  if (UniqueRegKey key = OpenMachineKey(kProductOptionsKey)) {
    values.has_product_type = ReadString(key.get(), L"ProductType", 520, &values.product_type);
    values.product_suite = ReadMultiString(key.get(), L"ProductSuite");
  }
  return OsFactsFromRegistryValues(values, WindowsIs64Bit(kProcessIs64Bit, RunsUnderWow64()));
}

// Function-local statics are initialised exactly once even when several
// threads arrive together. The objects are never destroyed: the log's last
// lines are written at exit, after the destructors of such statics ran.
const OsFacts& GetOsFacts() {
  static const OsFacts* facts = new OsFacts(ReadOsFacts());
  return *facts;
}

const std::wstring& GetGenericOsName() {
  static const std::wstring* name = new std::wstring(GenericOsName(GetOsFacts()));
  return *name;
}

const std::wstring& GetDetailedOsName() {
  static const std::wstring* name = new std::wstring(DetailedOsName(GetOsFacts()));
  return *name;
}

bool IsWindows10OrLater() {
  return IsWindows10OrLater(GetOsFacts());
}

bool MatchesOsLists(const std::wstring& win_nt_versions, const std::wstring& win_nt64_versions) {
  return MatchesOsListsFor(GetGenericOsName(), GetDetailedOsName(), GetOsFacts().is_64bit,
                           win_nt_versions, win_nt64_versions);
}

bool GetDllVersion(const std::wstring& library, uint32_t* ms, uint32_t* ls) {
  UniqueModule module(LoadLibraryW(library.c_str()));
  if (!module) return false;
  auto dll_get_version = reinterpret_cast<DLLGETVERSIONPROC>(
      reinterpret_cast<void*>(GetProcAddress(module.get(), "DllGetVersion")));
  if (!dll_get_version) return ReadFixedFileVersion(GetModulePath(module.get()), ms, ls);
  DLLVERSIONINFO info = {};
  info.cbSize = sizeof(info);  // the 20-byte first version of the block
  if (FAILED(dll_get_version(&info))) return false;
  *ms = (info.dwMajorVersion << 16) | (info.dwMinorVersion & 0xFFFF);
  *ls = info.dwBuildNumber << 16;
  return true;
}

bool GetFileProductName(const std::wstring& path, std::wstring* name) {
  return QueryVersionString(path, L"ProductName", name);
}
