// UTF-8 for the tool's messages and the author's text files.
#pragma once
#include <cstdint>
#include <string>

// Appends the UTF-8 bytes of one code point.
void AppendUtf8(uint32_t code, std::string* out);
// UTF-8 bytes of a wide string (UTF-16 on Windows, UTF-32 on Linux).
std::string Utf8(const std::wstring& text);
// The wide string of UTF-8 bytes; false at the first byte that is not UTF-8.
bool FromUtf8(const std::string& bytes, std::wstring* out);
