// Which names an archive entry may carry. An entry is always written straight
// into the extraction folder under its own name, so a name must be one plain
// file-name component that Windows treats as an ordinary file.
#pragma once
#include <string>

// Longest entry name, in UTF-16 units, that the bundle index stores.
constexpr size_t kMaxEntryNameLength = 200;

// True for a plain file name: not empty, at most kMaxEntryNameLength units, no
// path separator, drive letter, colon (alternate streams), wildcard or control
// character, not "." or "..", no ".." anywhere, no trailing dot or blank (Windows
// would silently drop them and write another file), and no device name such as
// CON, NUL, AUX, PRN, COM1-9 or LPT1-9, with or without an extension.
bool IsSafeEntryName(const std::wstring& name);
