// Path rules that need no file system: the long "\\?\" forms, separators and
// components. Paths are UTF-16 with "\" separators.
#pragma once
#include <string>
#include <vector>

extern const wchar_t kLongPrefix[];     // "\\?\"
extern const wchar_t kLongUncPrefix[];  // "\\?\UNC\"

bool IsDriveAbsolute(const std::wstring& path);  // second character ':'
bool StartsWithTwoBackslashes(const std::wstring& path);
bool HasLongPrefix(const std::wstring& path);
bool StartsWith(const std::wstring& text, const std::wstring& prefix);
bool EndsWith(const std::wstring& text, const std::wstring& suffix);
// One of \ / : * ? " < > |, which no Windows file name may hold.
bool IsReservedNameCharacter(wchar_t c);
bool EqualsIgnoreCaseAscii(const std::wstring& a, const std::wstring& b);

// The long form of a path of 248 characters or more that is drive-absolute or
// starts with two backslashes (\\server\share\x becomes \\?\UNC\server\share\x);
// anything else, including a path already in long form, is returned unchanged.
std::wstring ToLongPath(const std::wstring& path);
// The inverse of ToLongPath.
std::wstring FromLongPath(const std::wstring& path);
// Replaces every "/" by "\" and returns how many were replaced.
int NormalizeSlashes(std::wstring* path);
// Components of a path. A long prefix goes back onto the first component; the
// first component of a UNC path is "\\server". Empty components are dropped.
void SplitPath(const std::wstring& path, std::vector<std::wstring>* components);

// Text before the last backslash (empty when there is none).
std::wstring FolderOf(const std::wstring& path);
// Text after the last backslash (the whole path when there is none).
std::wstring FileNameOf(const std::wstring& path);
// Adds one backslash unless the text is empty or already ends with one.
std::wstring WithTrailingBackslash(const std::wstring& path);
