// DLLs that are not KnownDLLs are loaded by search, and the first folder
// searched is the program's own: a version.dll beside setup.exe in a Downloads
// folder would run before the chainer does. So the chainer imports only what
// Windows always takes from the system folder, and loads the rest here, by full
// path, through tables of typed pointers resolved once per process.
#pragma once
#include <windows.h>
// winnetwk.h and msi.h need windows.h first.
#include <msi.h>
#include <winnetwk.h>
#include <wininet.h>
// dbghelp.h needs windows.h first.
#include <dbghelp.h>
// wintrust.h needs wincrypt.h (from windows.h) first.
#include <wintrust.h>

// Restricts the search of every later load by name, the ones Windows makes for
// the program too (common controls bring uxtheme.dll and dwmapi.dll), to the
// system folder where SetDefaultDllDirectories exists (Windows 8, or 7 with
// KB2533623); elsewhere it takes the current folder out with SetDllDirectoryW.
// Call before anything loads a DLL or shows a window. False when neither exists.
bool RestrictDllSearch();

// `name` from the system folder by its full path; its own imports are searched
// from there too. Returns null (and the last error) when it cannot be loaded.
HMODULE LoadSystemLibrary(const wchar_t* name);

struct VersionApi {
  decltype(&::GetFileVersionInfoSizeW) GetFileVersionInfoSizeW;
  decltype(&::GetFileVersionInfoW) GetFileVersionInfoW;
  decltype(&::VerQueryValueW) VerQueryValueW;
};
struct MsiApi {
  decltype(&::MsiGetProductInfoW) MsiGetProductInfoW;
  decltype(&::MsiEnumRelatedProductsW) MsiEnumRelatedProductsW;
  decltype(&::MsiLocateComponentW) MsiLocateComponentW;
};
// The Windows Runtime's entry points (Windows 8 and later); HSTRING is passed
// as the opaque pointer it is.
struct CombaseApi {
  HRESULT(WINAPI* RoInitialize)(int init_type);
  void(WINAPI* RoUninitialize)();
  HRESULT(WINAPI* RoActivateInstance)(void* class_id, void** instance);
  HRESULT(WINAPI* RoGetActivationFactory)(void* class_id, REFIID iid, void** factory);
  HRESULT(WINAPI* WindowsCreateString)(const wchar_t* text, UINT32 length, void** string);
  HRESULT(WINAPI* WindowsDeleteString)(void* string);
  const wchar_t*(WINAPI* WindowsGetStringRawBuffer)(void* string, UINT32* length);
};
struct MprApi {
  decltype(&::WNetAddConnection2W) WNetAddConnection2W;
};
struct WininetApi {
  // The library itself: its message table holds the texts of WinINet's
  // errors, which the system's table lacks.
  HMODULE module;
  decltype(&::InternetCrackUrlW) InternetCrackUrlW;
  decltype(&::InternetOpenW) InternetOpenW;
  decltype(&::InternetCloseHandle) InternetCloseHandle;
  decltype(&::InternetSetStatusCallbackW) InternetSetStatusCallbackW;
  decltype(&::InternetSetOptionW) InternetSetOptionW;
  decltype(&::InternetQueryOptionW) InternetQueryOptionW;
  decltype(&::InternetConnectW) InternetConnectW;
  decltype(&::InternetGetLastResponseInfoW) InternetGetLastResponseInfoW;
  decltype(&::InternetReadFile) InternetReadFile;
  decltype(&::InternetReadFileExA) InternetReadFileExA;
  decltype(&::HttpOpenRequestW) HttpOpenRequestW;
  decltype(&::HttpAddRequestHeadersW) HttpAddRequestHeadersW;
  decltype(&::HttpSendRequestW) HttpSendRequestW;
  decltype(&::HttpQueryInfoW) HttpQueryInfoW;
  decltype(&::FtpCommandW) FtpCommandW;
  decltype(&::FtpOpenFileW) FtpOpenFileW;
  decltype(&::FtpGetFileSize) FtpGetFileSize;
};

// Authenticode verification (signer_check.cpp): wintrust.dll judges the file,
// crypt32.dll names the certificate that signed it.
struct WintrustApi {
  decltype(&::WinVerifyTrust) WinVerifyTrust;
  decltype(&::WTHelperProvDataFromStateData) WTHelperProvDataFromStateData;
  decltype(&::WTHelperGetProvSignerFromChain) WTHelperGetProvSignerFromChain;
  decltype(&::WTHelperGetProvCertFromChain) WTHelperGetProvCertFromChain;
};
struct Crypt32Api {
  decltype(&::CertGetNameStringW) CertGetNameStringW;
};

struct DbgHelpApi {
  decltype(&::SymSetOptions) SymSetOptions;
  decltype(&::SymInitialize) SymInitialize;
  decltype(&::SymSetSearchPath) SymSetSearchPath;
  decltype(&::SymCleanup) SymCleanup;
  decltype(&::StackWalk64) StackWalk64;
  decltype(&::SymFunctionTableAccess64) SymFunctionTableAccess64;
  decltype(&::SymGetModuleBase64) SymGetModuleBase64;
  decltype(&::SymFromAddr) SymFromAddr;
  decltype(&::SymGetLineFromAddr64) SymGetLineFromAddr64;
};

// Each library is loaded on first use and stays loaded for the life of the
// process. Null (and the last error) when it or one of the functions is missing.
const VersionApi* VersionDll();
const MsiApi* MsiDll();
const MprApi* MprDll();
const CombaseApi* CombaseDll();
const DbgHelpApi* DbgHelpDll();
const WininetApi* WininetDll();
const WintrustApi* WintrustDll();
const Crypt32Api* Crypt32Dll();

// For code that holds a WinINet handle, which only a loaded WinINet handed out.
inline const WininetApi& Wininet() {
  return *WininetDll();
}
