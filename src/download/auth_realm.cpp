#include "download/auth_realm.h"

#include <vector>

namespace {
bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t';
}

std::wstring Trim(const std::wstring& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

wchar_t AsciiLower(wchar_t c) {
  return c >= L'A' && c <= L'Z' ? c + (L'a' - L'A') : c;
}

bool EqualsIgnoringCase(const std::wstring& a, const wchar_t* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != L'\0'; ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return i == a.size() && b[i] == L'\0';
}

// Commas inside a quoted value belong to the value: realm="Sales, East" is one
// parameter. A backslash inside quotes escapes the next character.
std::vector<std::wstring> SplitParameters(const std::wstring& text) {
  std::vector<std::wstring> items;
  std::wstring current;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (quoted && c == L'\\' && i + 1 < text.size()) {
      current += c;
      current += text[++i];
      continue;
    }
    if (c == L'"') quoted = !quoted;
    if (c == L',' && !quoted) {
      items.push_back(current);
      current.clear();
      continue;
    }
    current += c;
  }
  items.push_back(current);
  return items;
}

// One leading and one trailing quote go; inside a quoted value "\x" stands for x.
std::wstring Unquote(const std::wstring& value) {
  if (value.size() < 2 || value.front() != L'"' || value.back() != L'"') {
    // An unbalanced quote is still dropped, as far as it goes.
    size_t begin = !value.empty() && value.front() == L'"' ? 1 : 0;
    size_t end = value.size() > begin && value.back() == L'"' ? value.size() - 1 : value.size();
    return value.substr(begin, end - begin);
  }
  std::wstring text;
  for (size_t i = 1; i + 1 < value.size(); ++i) {
    if (value[i] == L'\\' && i + 2 < value.size()) ++i;
    text += value[i];
  }
  return text;
}
}  // namespace

bool ParseAuthRealm(const std::wstring& header_value, std::wstring* realm) {
  const std::wstring value = Trim(header_value);
  size_t blank = 0;
  while (blank < value.size() && !IsBlank(value[blank])) ++blank;
  if (blank >= value.size()) return false;  // the scheme word alone
  for (const std::wstring& raw : SplitParameters(value.substr(blank + 1))) {
    const std::wstring item = Trim(raw);
    const size_t equals = item.find(L'=');
    if (equals == std::wstring::npos || equals == 0) continue;
    if (!EqualsIgnoringCase(Trim(item.substr(0, equals)), L"realm")) continue;
    if (realm) *realm = Unquote(Trim(item.substr(equals + 1)));
    return true;
  }
  return false;
}

std::wstring ProxyHostFromSetting(const std::wstring& setting) {
  const size_t colon = setting.find(L':');
  if (colon == std::wstring::npos || colon == 0) return setting;
  return setting.substr(0, colon);
}

std::wstring HostFromUrl(const std::wstring& url) {
  size_t begin = 0;
  const size_t scheme = url.find(L"://");
  if (scheme != std::wstring::npos) {
    begin = scheme + 3;
  } else if (url.compare(0, 2, L"\\\\") == 0) {
    begin = 2;
  }
  size_t end = url.find_first_of(L"/\\?#", begin);
  if (end == std::wstring::npos) end = url.size();
  // Any user name and password sit before the last '@' of the authority.
  const size_t at = url.rfind(L'@', end == 0 ? 0 : end - 1);
  if (at != std::wstring::npos && at >= begin) begin = at + 1;
  if (begin < end && url[begin] == L'[') {  // an IPv6 literal keeps its colons
    const size_t close = url.find(L']', begin);
    if (close != std::wstring::npos && close < end) return url.substr(begin, close + 1 - begin);
  }
  const size_t colon = url.find(L':', begin);
  if (colon != std::wstring::npos && colon < end) end = colon;
  return url.substr(begin, end - begin);
}

std::wstring PromptHost(const std::wstring& url, const std::wstring& proxy_host) {
  return proxy_host.empty() ? HostFromUrl(url) : proxy_host;
}
