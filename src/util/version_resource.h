// Reading texts from a file's version resource.
#pragma once
#include <cstdint>
#include <string>

// The value of \StringFileInfo\<lang><codepage>\<name> for the first
// translation of the file (1033 and code page 1250 when it lists none).
// A found, non-empty value replaces *value; otherwise it stays and the result is false.
bool QueryVersionString(const std::wstring& path, const wchar_t* name, std::wstring* value);
// The product name of an executable, as the setup title uses it.
bool ReadProductName(const std::wstring& path, std::wstring* name);
// The fixed file version of a file (most and least significant halves).
// False when the file has no version resource.
bool ReadFixedFileVersion(const std::wstring& path, uint32_t* ms, uint32_t* ls);
