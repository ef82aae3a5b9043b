#include "util/system_library.h"

#include <string>

#include "util/unique_handle.h"

namespace {
// Missing from the Windows XP headers this program builds against.
constexpr DWORD kLoadLibrarySearchSystem32 = 0x00000800;
using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryWFn = BOOL(WINAPI*)(LPCWSTR);

template <typename Function>
bool Bind(HMODULE module, const char* name, Function* slot) {
  *slot = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return *slot != nullptr;
}

// The library's table once every function is bound; the failure's last error stays.
template <typename Api, typename BindAll>
const Api* LoadApi(const wchar_t* library, BindAll bind_all) {
  static Api api = {};
  HMODULE module = LoadSystemLibrary(library);
  return module && bind_all(module, &api) ? &api : nullptr;
}
}  // namespace

bool RestrictDllSearch() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  SetDefaultDllDirectoriesFn set_default_directories = nullptr;
  if (Bind(kernel, "SetDefaultDllDirectories", &set_default_directories) &&
      set_default_directories(kLoadLibrarySearchSystem32)) {
    return true;
  }
  // Windows XP SP1 to an unpatched 7: the program's folder stays first in the
  // search, but the current folder (a share, a download folder) is gone.
  SetDllDirectoryWFn set_dll_directory = nullptr;
  return Bind(kernel, "SetDllDirectoryW", &set_dll_directory) && set_dll_directory(L"");
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  std::wstring path(folder, length);
  if (path.back() != L'\\') path += L'\\';
  path += name;
  // The altered search path looks for the library's own imports beside it,
  // in the system folder, instead of beside the program.
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

const VersionApi* VersionDll() {
  static const VersionApi* api = LoadApi<VersionApi>(L"version.dll", [](HMODULE m, VersionApi* a) {
    return Bind(m, "GetFileVersionInfoSizeW", &a->GetFileVersionInfoSizeW) &&
           Bind(m, "GetFileVersionInfoW", &a->GetFileVersionInfoW) &&
           Bind(m, "VerQueryValueW", &a->VerQueryValueW);
  });
  return api;
}

const MsiApi* MsiDll() {
  static const MsiApi* api = LoadApi<MsiApi>(L"msi.dll", [](HMODULE m, MsiApi* a) {
    return Bind(m, "MsiGetProductInfoW", &a->MsiGetProductInfoW) &&
           Bind(m, "MsiEnumRelatedProductsW", &a->MsiEnumRelatedProductsW) &&
           Bind(m, "MsiLocateComponentW", &a->MsiLocateComponentW);
  });
  return api;
}

const MprApi* MprDll() {
  static const MprApi* api = LoadApi<MprApi>(L"mpr.dll", [](HMODULE m, MprApi* a) {
    return Bind(m, "WNetAddConnection2W", &a->WNetAddConnection2W);
  });
  return api;
}

const CombaseApi* CombaseDll() {
  static const CombaseApi* api = LoadApi<CombaseApi>(L"combase.dll", [](HMODULE m, CombaseApi* a) {
    return Bind(m, "RoInitialize", &a->RoInitialize) &&
           Bind(m, "RoUninitialize", &a->RoUninitialize) &&
           Bind(m, "RoActivateInstance", &a->RoActivateInstance) &&
           Bind(m, "RoGetActivationFactory", &a->RoGetActivationFactory) &&
           Bind(m, "WindowsCreateString", &a->WindowsCreateString) &&
           Bind(m, "WindowsDeleteString", &a->WindowsDeleteString) &&
           Bind(m, "WindowsGetStringRawBuffer", &a->WindowsGetStringRawBuffer);
  });
  return api;
}

const WininetApi* WininetDll() {
  static const WininetApi* api = LoadApi<WininetApi>(L"wininet.dll", [](HMODULE m, WininetApi* a) {
    a->module = m;
    return Bind(m, "InternetCrackUrlW", &a->InternetCrackUrlW) &&
           Bind(m, "InternetOpenW", &a->InternetOpenW) &&
           Bind(m, "InternetCloseHandle", &a->InternetCloseHandle) &&
           Bind(m, "InternetSetStatusCallbackW", &a->InternetSetStatusCallbackW) &&
           Bind(m, "InternetSetOptionW", &a->InternetSetOptionW) &&
           Bind(m, "InternetQueryOptionW", &a->InternetQueryOptionW) &&
           Bind(m, "InternetConnectW", &a->InternetConnectW) &&
           Bind(m, "InternetGetLastResponseInfoW", &a->InternetGetLastResponseInfoW) &&
           Bind(m, "InternetReadFile", &a->InternetReadFile) &&
           Bind(m, "InternetReadFileExA", &a->InternetReadFileExA) &&
           Bind(m, "HttpOpenRequestW", &a->HttpOpenRequestW) &&
           Bind(m, "HttpAddRequestHeadersW", &a->HttpAddRequestHeadersW) &&
           Bind(m, "HttpSendRequestW", &a->HttpSendRequestW) &&
           Bind(m, "HttpQueryInfoW", &a->HttpQueryInfoW) &&
           Bind(m, "FtpCommandW", &a->FtpCommandW) && Bind(m, "FtpOpenFileW", &a->FtpOpenFileW) &&
           Bind(m, "FtpGetFileSize", &a->FtpGetFileSize);
  });
  return api;
}

const WintrustApi* WintrustDll() {
  static const WintrustApi* api = LoadApi<WintrustApi>(L"wintrust.dll", [](HMODULE m, WintrustApi* a) {
    return Bind(m, "WinVerifyTrust", &a->WinVerifyTrust) &&
           Bind(m, "WTHelperProvDataFromStateData", &a->WTHelperProvDataFromStateData) &&
           Bind(m, "WTHelperGetProvSignerFromChain", &a->WTHelperGetProvSignerFromChain) &&
           Bind(m, "WTHelperGetProvCertFromChain", &a->WTHelperGetProvCertFromChain);
  });
  return api;
}

const Crypt32Api* Crypt32Dll() {
  static const Crypt32Api* api = LoadApi<Crypt32Api>(L"crypt32.dll", [](HMODULE m, Crypt32Api* a) {
    return Bind(m, "CertGetNameStringW", &a->CertGetNameStringW);
  });
  return api;
}

void CloseInternetHandle(HINTERNET handle) {
  Wininet().InternetCloseHandle(handle);
}

const DbgHelpApi* DbgHelpDll() {
  static const DbgHelpApi* api = LoadApi<DbgHelpApi>(L"dbghelp.dll", [](HMODULE m, DbgHelpApi* a) {
    return Bind(m, "SymSetOptions", &a->SymSetOptions) &&
           Bind(m, "SymInitialize", &a->SymInitialize) &&
           Bind(m, "SymSetSearchPath", &a->SymSetSearchPath) &&
           Bind(m, "SymCleanup", &a->SymCleanup) && Bind(m, "StackWalk64", &a->StackWalk64) &&
           Bind(m, "SymFunctionTableAccess64", &a->SymFunctionTableAccess64) &&
           Bind(m, "SymGetModuleBase64", &a->SymGetModuleBase64) &&
           Bind(m, "SymFromAddr", &a->SymFromAddr) &&
           Bind(m, "SymGetLineFromAddr64", &a->SymGetLineFromAddr64);
  });
  return api;
}
