#include "archive/entry_name.h"

#include "util/path_text.h"

#include <cwctype>

namespace {
wchar_t UpperAscii(wchar_t c) {
  return c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c;
}

// Windows opens the device for these names whatever extension follows.
bool IsDeviceName(const std::wstring& name) {
  std::wstring stem = name.substr(0, name.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.pop_back();
  for (wchar_t& c : stem) c = UpperAscii(c);
  static const wchar_t* const kDevices[] = {L"CON",    L"PRN",     L"AUX",   L"NUL",
                                            L"CONIN$", L"CONOUT$", L"CLOCK$"};
  for (const wchar_t* device : kDevices) {
    if (stem == device) return true;
  }
  if (stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0)) {
    // COM0-9 and LPT0-9, and the superscript digits Windows also accepts.
    const wchar_t digit = stem[3];
    return (digit >= L'0' && digit <= L'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
  }
  return false;
}
}  // namespace

bool IsSafeEntryName(const std::wstring& name) {
  if (name.empty() || name.size() > kMaxEntryNameLength) return false;
  if (name.find(L"..") != std::wstring::npos) return false;
  for (wchar_t c : name) {
    if (c < 0x20 || c == 0x7F) return false;
    if (IsReservedNameCharacter(c)) return false;
  }
  if (name.back() == L'.' || name.back() == L' ' || name.front() == L' ') return false;
  return !IsDeviceName(name);
}
