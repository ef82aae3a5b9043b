#include "util/temp_folder.h"

#include <windows.h>
#include <sddl.h>

#include <mutex>
#include <vector>

#include "util/critical_section.h"
#include "util/file_ops.h"
#include "util/unique_handle.h"

bool IsLocalSystem() {
  UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return false;
  std::vector<BYTE> buffer(size);
  if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return false;
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  PSID system_sid = nullptr;
  if (!AllocateAndInitializeSid(&nt_authority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0,
                                &system_sid)) {
    return false;
  }
  bool is_system = EqualSid(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, system_sid);
  FreeSid(system_sid);
  return is_system;
}

namespace {
using GetTempPath2WFn = DWORD(WINAPI*)(DWORD, LPWSTR);

std::wstring ProtectedSystemTemp() {
  std::wstring path;
  wchar_t buffer[MAX_PATH + 1] = {};
  auto get_temp_path2 = reinterpret_cast<GetTempPath2WFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"Kernel32.dll"), "GetTempPath2W")));
  if (get_temp_path2) {
    DWORD length = get_temp_path2(MAX_PATH + 1, buffer);
    if (length > 0 && length <= MAX_PATH) path.assign(buffer, length);
  } else {
    UINT length = GetWindowsDirectoryW(buffer, MAX_PATH);
    if (length > 0 && length < MAX_PATH) path = std::wstring(buffer, length) + L"\\SystemTemp\\";
  }
  if (!path.empty() && !PathExists(path.substr(0, path.size() - 1))) {
    // Only LocalSystem and the Administrators may look inside.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;OICI;GA;;;SY)(A;OICI;GA;;;BA)", SDDL_REVISION_1, &descriptor, nullptr)) {
      SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
      CreateDirectoryW(path.c_str(), &attributes);
      LocalFree(descriptor);
    }
  }
  return path;
}

std::wstring UserTemp() {
  wchar_t buffer[MAX_PATH + 1] = {};
  DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  if (length == 0 || length > MAX_PATH) return std::wstring();
  return std::wstring(buffer, length);
}
}  // namespace

std::wstring GetTempFolder() {
  static CriticalSection lock;
  static std::wstring cached;
  std::lock_guard<CriticalSection> guard(lock);
  // Only a path is kept: when the system gave none, the next call asks again.
  if (cached.empty()) cached = IsLocalSystem() ? ProtectedSystemTemp() : UserTemp();
  return cached;
}
