// Reading texts from a file's version resource.
#pragma once
#include <string>

// The value of \StringFileInfo\<lang><codepage>\<name> for the first
// translation of the file (1033 and code page 1250 when it lists none).
// A found, non-empty value replaces *value; otherwise it stays and the result is false.
bool QueryVersionString(const std::wstring& path, const wchar_t* name, std::wstring* value);
// The product name of an executable, as the setup title uses it.
bool ReadProductName(const std::wstring& path, std::wstring* name);
