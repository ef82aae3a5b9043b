#include "util/wide_format.h"

#include <windows.h>

#include <cstdio>
#include <vector>

std::wstring FormatListW(const wchar_t* format, va_list args) {
  std::vector<wchar_t> buffer(256);
  for (;;) {
    va_list copy;
    va_copy(copy, args);
    // The runtime's _vsnwprintf returns -1 when the text does not fit.
    int written = _vsnwprintf(buffer.data(), buffer.size() - 1, format, copy);
    va_end(copy);
    if (written >= 0 && static_cast<size_t>(written) < buffer.size() - 1) {
      return std::wstring(buffer.data(), written);
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::wstring FormatW(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring text = FormatListW(format, args);
  va_end(args);
  return text;
}

std::string FormatA(const char* format, ...) {
  std::vector<char> buffer(256);
  for (;;) {
    va_list args;
    va_start(args, format);
    int written = _vsnprintf(buffer.data(), buffer.size() - 1, format, args);
    va_end(args);
    if (written >= 0 && static_cast<size_t>(written) < buffer.size() - 1) {
      return std::string(buffer.data(), written);
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string ToAnsi(const std::wstring& text) {
  if (text.empty()) return std::string();
  int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string out(size > 0 ? size : 0, '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                        nullptr, nullptr);
  }
  return out;
}

std::wstring FromAnsi(const std::string& text) {
  if (text.empty()) return std::wstring();
  int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(size > 0 ? size : 0, L'\0');
  if (size > 0) {
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], size);
  }
  return out;
}
