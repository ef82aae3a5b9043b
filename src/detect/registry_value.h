// Registry paths as the configuration writes them ("HKLM\Software\Vendor\Value")
// and reading a value as text. The path rules and the data-to-text rules are
// pure; the rest are thin wrappers around the registry API.
#pragma once
#include <windows.h>

#include <string>

#include "util/unique_handle.h"

// The predefined key a path's first component names.
enum class RegistryRoot {
  LocalMachine,   // HKLM, HKEY_LOCAL_MACHINE
  CurrentUser,    // HKCU, HKEY_CURRENT_USER
  ClassesRoot,    // HKCR, HKEY_CLASSES_ROOT
  CurrentConfig,  // HKCC, HKEY_CURRENT_CONFIG
  Users,          // any other first component
};

// The root of a path whose first component ends at its first "\"; the names
// are compared without regard to case. False for a path without "\".
bool RegistryRootFromPath(const std::wstring& path, RegistryRoot* root);

struct RegistryKeyPath {
  RegistryRoot root = RegistryRoot::Users;
  std::wstring key;  // the text after the first "\"
};
struct RegistryValuePath {
  RegistryRoot root = RegistryRoot::Users;
  std::wstring key;         // between the first and the last "\" (may be empty)
  std::wstring value_name;  // after the last "\"; empty names the default value
};
// False, leaving *out alone, for a path without "\" (it names no root).
bool SplitRegistryKeyPath(const std::wstring& path, RegistryKeyPath* out);
bool SplitRegistryValuePath(const std::wstring& path, RegistryValuePath* out);

// Value data as text: REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ give their
// characters with trailing NULs removed (the strings of a multi-string stay
// joined by NULs; an odd last byte is ignored), REG_DWORD its decimal value.
// Only the size bytes at data are read. Other types, or a REG_DWORD shorter
// than four bytes, give false.
bool RegistryDataToText(DWORD type, const BYTE* data, size_t size, std::wstring* text);

// The predefined HKEY of a root.
HKEY RegistryRootKey(RegistryRoot root);
// The predefined HKEY a path starts with; nullptr for a path without "\".
HKEY ParseRegistryRoot(const std::wstring& path);

// The view flag of a read that wants the 64-bit view (the "x" letter) or not.
// Without it the read sees what the 32-bit program sees by default, the 32-bit
// view; a 64-bit process has to name that view, as 0 means its own.
REGSAM RegistryViewFlag(bool wants_64bit_view, bool process_is_64bit);

// Opens a key path (root and key) with the access asked for; the caller adds
// the view flag. ERROR_SUCCESS, ERROR_BAD_PATHNAME for a
// path without root, or the registry's code.
LONG OpenRegistryKey(const std::wstring& key_path, REGSAM access, UniqueRegKey* key);
// Queries a value of an open key (the key needs KEY_QUERY_VALUE) and turns it
// into text by RegistryDataToText. False when the value is missing, cannot be
// read or has another type.
bool ReadValueText(HKEY key, const std::wstring& value_name, std::wstring* text);
// The value a full value path names, as text; the key is opened in the 64-bit
// view when wow64 is set, else in the 32-bit one. False, leaving *text alone, for anything that
// cannot be opened or read.
bool ReadRegistryValueText(const std::wstring& value_path, bool wow64, std::wstring* text);
