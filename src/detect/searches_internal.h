// The searches by kind, as RunSearchOn dispatches them. Each one appends what
// it collects to *values and answers for the types that decide by themselves.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "detect/prerequisite.h"

// The SearchType numbers of the configuration.
enum SearchType : int32_t {
  kFileVersion = 0,
  kRegistrySubkeys = 1,
  kRegistryValue = 2,
  kProductVersion = 3,
  kRelatedProducts = 4,
  kKeyExists = 5,
  kKeyMissing = 6,
  kValueExists = 7,
  kValueMissing = 8,
  kValueCompare = 9,
  kHelperProgram = 10,
  kComponent = 11,
  kRegistryValueNames = 12,
  kStorePackage = 13,
  kSubfolders = 14,
};

// Types 1, 2, 5 to 9 and 12. view is a RegistryViewFlag. Other types: false.
bool RunRegistrySearch(const SearchEntry& search, REGSAM view, std::vector<std::wstring>* values);

// Type 3: the VersionString of the installed product, when it has one.
void CollectProductVersion(const std::wstring& product_code, std::vector<std::wstring>* values);
// Type 4: the VersionString of every product related to the upgrade code.
void CollectRelatedProductVersions(const std::wstring& upgrade_code,
                                   std::vector<std::wstring>* values);
// Type 11: true when the component is installed locally or runs from source.
bool IsComponentInstalled(const std::wstring& component_code);

// Type 0: the version of the first file the search string leads to ("path",
// "path?depth", or a bare name looked for on every fixed drive). wow64 looks
// at the 64-bit file system; clone_windows_files reads Windows files through
// a copy (see ReadFileVersionText).
void CollectFileVersion(const std::wstring& search_string, bool wow64, bool clone_windows_files,
                        std::vector<std::wstring>* values);
