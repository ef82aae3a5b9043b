#include "download/auth_query.h"

#include <vector>

#include "download/auth_realm.h"
#include "util/system_library.h"

bool ReadAuthRealm(HINTERNET request, DWORD status, std::wstring* realm) {
  DWORD query = 0;
  if (status == HTTP_STATUS_DENIED) {
    query = HTTP_QUERY_WWW_AUTHENTICATE;
  } else if (status == HTTP_STATUS_PROXY_AUTH_REQ) {
    query = HTTP_QUERY_PROXY_AUTHENTICATE;
  } else {
    return false;
  }
  // Most challenges fit; a longer one is read again once in the size WinINet
  // asks for.
  std::vector<BYTE> buffer(520);
  DWORD size = static_cast<DWORD>(buffer.size());
  DWORD index = 0;
  BOOL read = Wininet().HttpQueryInfoW(request, query, buffer.data(), &size, &index);
  if (!read && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    buffer.assign(size + sizeof(wchar_t), 0);
    size = static_cast<DWORD>(buffer.size());
    index = 0;
    read = Wininet().HttpQueryInfoW(request, query, buffer.data(), &size, &index);
  }
  if (!read) return false;
  // The text ends at its terminator, whatever size WinINet reports back
  // (wcsnlen is missing from the C runtime of older Windows versions).
  const wchar_t* text = reinterpret_cast<const wchar_t*>(buffer.data());
  size_t length = 0;
  while (length < buffer.size() / sizeof(wchar_t) && text[length] != L'\0') ++length;
  const std::wstring value(text, length);
  return ParseAuthRealm(value, realm);
}

DWORD GetProxyHost(HINTERNET request, std::wstring* host) {
  host->clear();
  INTERNET_PER_CONN_OPTIONW option = {};
  option.dwOption = INTERNET_PER_CONN_PROXY_SERVER;
  INTERNET_PER_CONN_OPTION_LISTW list = {};
  list.dwSize = sizeof(list);
  list.pszConnection = nullptr;  // the default (LAN) connection
  list.dwOptionCount = 1;
  list.pOptions = &option;
  DWORD size = sizeof(list);
  if (!Wininet().InternetQueryOptionW(request, INTERNET_OPTION_PER_CONNECTION_OPTION, &list,
                                      &size)) {
    return GetLastError();
  }
  if (option.Value.pszValue) {
    *host = ProxyHostFromSetting(option.Value.pszValue);
    GlobalFree(option.Value.pszValue);
  }
  return 0;
}
