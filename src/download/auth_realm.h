// What an authentication request names, read from texts alone: the realm in
// an authenticate header, the proxy host in a proxy setting, and the host the
// credentials prompt shows. Pure: no Windows calls.
#pragma once
#include <string>

// The realm of an authenticate header value ("Basic realm=\"Files\"" gives
// Files). The parameters after the scheme word are split at commas (not
// inside quotes) and trimmed; the first whose name is "realm" in any case
// gives its value, without its surrounding double quotes. False when the value
// has no blank after the scheme word or no realm parameter.
bool ParseAuthRealm(const std::wstring& header_value, std::wstring* realm);

// The host of a proxy setting: the text before its first ':' ("proxy1:8080"
// gives proxy1), or the whole text when it has no colon or begins with one.
std::wstring ProxyHostFromSetting(const std::wstring& setting);

// The host part of a URL: after the scheme and any user name and password,
// before the port, path, query or fragment ("ftp://u:p@files.example:21/a"
// gives files.example); a share "\\server\share\file" gives server. Empty when
// there is none.
std::wstring HostFromUrl(const std::wstring& url);

// The name the credentials prompt puts in its title and message: the proxy
// host when there is one, else the URL's host.
std::wstring PromptHost(const std::wstring& url, const std::wstring& proxy_host);
