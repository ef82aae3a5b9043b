// The running Windows, read from the registry (not from the version functions,
// which lie to programs without a compatibility manifest entry), and the few
// version questions detection asks of the system.
#pragma once
#include <cstdint>
#include <string>

#include "detect/os_names.h"

// Reads the facts from the registry now, in the 64-bit view; Windows is 64-bit
// when this program is or when IsWow64Process says it runs under WOW64. Missing keys and values
// leave the defaults.
OsFacts ReadOsFacts();

// The process-wide facts, read once on first use from any thread and never
// refreshed; the object lives until the process ends.
const OsFacts& GetOsFacts();
// The names of GetOsFacts(), each computed once.
const std::wstring& GetGenericOsName();
const std::wstring& GetDetailedOsName();

// IsWindows10OrLater(GetOsFacts()); Windows 11 counts.
bool IsWindows10OrLater();

// False when the prerequisite with these WinNTVersions / WinNT64Versions lists
// does not apply to the running system (see MatchesOsListsFor).
bool MatchesOsLists(const std::wstring& win_nt_versions, const std::wstring& win_nt64_versions);

// The version of a library: its DllGetVersion (major.minor in *ms, build in the
// high word of *ls) or, without that export, the fixed file version of the
// loaded file. False when the library does not load or gives no version.
bool GetDllVersion(const std::wstring& library, uint32_t* ms, uint32_t* ls);

// The ProductName of a file's version resource (first translation; 1033 and
// code page 1250 when it lists none). False, leaving *name alone, when absent.
bool GetFileProductName(const std::wstring& path, std::wstring* name);
