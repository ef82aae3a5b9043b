#include "ui/strings.h"

#include <windows.h>

#include <cstdarg>

#include "util/wide_format.h"

std::wstring LoadResString(unsigned id) {
  wchar_t buffer[1300];
  int length = LoadStringW(GetModuleHandleW(nullptr), id, buffer, 1300);
  return std::wstring(buffer, length > 0 ? length : 0);
}

std::wstring FormatResString(unsigned id, ...) {
  std::wstring format = LoadResString(id);
  va_list args;
  va_start(args, id);
  std::wstring text = FormatListW(format.c_str(), args);
  va_end(args);
  return text;
}
