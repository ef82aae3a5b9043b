#include "download/signer_check.h"

#include <windows.h>
#include <softpub.h>

#include "download/signer_rules.h"
#include "util/path_text.h"
#include "util/system_library.h"
#include "util/unique_handle.h"
#include "util/wide_format.h"

namespace {
// The verification's state, held open while the signer is read from it and
// released by WinVerifyTrust itself on the same data.
struct TrustStateTraits {
  using Type = WINTRUST_DATA*;
  static Type Invalid() { return nullptr; }
  static void Close(Type data) {
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    data->dwStateAction = WTD_STATEACTION_CLOSE;
    WintrustDll()->WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, data);
  }
};
using UniqueTrustState = UniqueHandle<TrustStateTraits>;

std::wstring SimpleDisplayName(const Crypt32Api& crypt32, PCCERT_CONTEXT certificate) {
  wchar_t name[256] = {};
  crypt32.CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name,
                             ARRAYSIZE(name));
  return name;
}

bool SameSignerName(const std::wstring& a, const std::wstring& b) {
  return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()),
                        b.c_str(), static_cast<int>(b.size())) == CSTR_EQUAL;
}
}  // namespace

std::wstring SignerFault(const std::wstring& path, const std::wstring& signer) {
  const WintrustApi* wintrust = WintrustDll();
  const Crypt32Api* crypt32 = wintrust ? Crypt32Dll() : nullptr;
  if (!crypt32) {
    return FormatW(L"signatures cannot be checked on this system. Error:%u", GetLastError());
  }
  const std::wstring long_path = ToLongPath(path);
  // Held open without write sharing, so that the bytes judged are the bytes
  // that stay.
  UniqueFile handle(CreateFileW(long_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle) return FormatW(L"the file cannot be read. Error:%u", GetLastError());
  WINTRUST_FILE_INFO file = {};
  file.cbStruct = sizeof(file);
  file.pcwszFilePath = long_path.c_str();
  file.hFile = handle.get();
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  // Offline machines must be able to install: no revocation lists, and no
  // missing certificates fetched from the network either.
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG result =
      wintrust->WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  const UniqueTrustState state(&data);
  if (result != 0) return TrustResultText(static_cast<uint32_t>(result));

  CRYPT_PROVIDER_DATA* provider = wintrust->WTHelperProvDataFromStateData(data.hWVTStateData);
  CRYPT_PROVIDER_SGNR* signer_data =
      provider ? wintrust->WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
  CRYPT_PROVIDER_CERT* certificate =
      signer_data ? wintrust->WTHelperGetProvCertFromChain(signer_data, 0) : nullptr;
  if (!certificate || !certificate->pCert || !signer_data->pChainContext) {
    return L"its signing certificate cannot be read";
  }
  // Windows' verdict already covers the chain; Wine 8 answers 0 for a chain
  // that ends in an untrusted root or in no root at all, so the chain the
  // verification built is judged here as well.
  const std::wstring chain_fault =
      ChainStatusText(signer_data->pChainContext->TrustStatus.dwErrorStatus);
  if (!chain_fault.empty()) return chain_fault;
  const std::wstring name = SimpleDisplayName(*crypt32, certificate->pCert);
  if (!SameSignerName(name, signer)) return L"it is signed by \"" + name + L"\"";
  return {};
}
