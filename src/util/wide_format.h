// printf-style formatting into std::wstring. "%s" takes a wide string, as in
// the Windows C runtime; callers pass .c_str().
#pragma once
#include <cstdarg>
#include <string>

std::wstring FormatW(const wchar_t* format, ...);
std::wstring FormatListW(const wchar_t* format, va_list args);
std::string FormatA(const char* format, ...);

// The text, or null for an empty one (optional string arguments of Win32).
inline const wchar_t* OrNull(const std::wstring& text) {
  return text.empty() ? nullptr : text.c_str();
}

// Lossless for the characters the process's ANSI code page can hold.
std::string ToAnsi(const std::wstring& text);
std::wstring FromAnsi(const std::string& text);
