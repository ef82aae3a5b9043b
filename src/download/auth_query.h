// Reads what a refused WinINet request says about the authentication it wants.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <string>

// The realm of the request's WWW-Authenticate header (status 401) or
// Proxy-Authenticate header (status 407). False for any other status, when
// the header cannot be read or names no realm.
bool ReadAuthRealm(HINTERNET request, DWORD status, std::wstring* realm);

// The host of the system's proxy setting for the default connection, as the
// request sees it (empty when no proxy is set). Returns 0 or the Windows or
// WinINet error of the query.
DWORD GetProxyHost(HINTERNET request, std::wstring* host);
