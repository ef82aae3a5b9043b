// Which Windows this is, as pure rules: the registry texts turned into facts,
// the facts turned into the generic and detailed names that prerequisite lists
// use, and the list matching. No Windows headers: the registry reading lives in
// detect/os_facts.cpp.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// ProductSuite names and their flags (the VER_SUITE_* values).
enum OsSuiteFlag : uint16_t {
  kSuiteSmallBusiness = 0x1,
  kSuiteEnterprise = 0x2,
  kSuiteBackOffice = 0x4,
  kSuiteCommunications = 0x8,
  kSuiteTerminal = 0x10,
  kSuiteSmallBusinessRestricted = 0x20,
  kSuiteEmbeddedNt = 0x40,
  kSuiteDataCenter = 0x80,
  kSuitePersonal = 0x200,
  kSuiteBlade = 0x400,
  kSuiteEmbeddedRestricted = 0x800,
  kSuiteSecurityAppliance = 0x1000,
  kSuiteStorageServer = 0x2000,
  kSuiteComputeServer = 0x4000,
};

// The running Windows as the registry describes it. The defaults are what a
// missing key or value leaves.
struct OsFacts {
  int32_t major = 0;
  int32_t minor = 0;
  int32_t build = 0;
  int32_t service_pack = 0;
  std::wstring csd_text;      // CSDVersion, at most kMaxCsdText characters
  uint16_t product_type = 1;  // 1 workstation, 2 domain controller, 3 server
  uint16_t suite_mask = 0;    // OsSuiteFlag bits
  bool is_server = false;
  bool is_64bit = false;  // 64-bit Windows, whatever the bitness of this program
  int32_t release_id = 1507;
};

constexpr size_t kMaxCsdText = 128;

// The raw values read from the two registry keys; has_* tells a missing value
// from an empty one. The numbers are 0 when missing.
struct OsRegistryValues {
  uint32_t major_number = 0;     // CurrentMajorVersionNumber
  uint32_t minor_number = 0;     // CurrentMinorVersionNumber
  std::wstring current_version;  // "6.1"
  std::wstring build_number;     // CurrentBuildNumber
  bool has_release_id = false;
  std::wstring release_id;
  std::wstring csd_version;
  bool has_product_type = false;
  std::wstring product_type;  // "WinNT", "ServerNT", "LanmanNT"
  std::vector<std::wstring> product_suite;
};

// The facts the registry values describe; is_64bit is the Windows bitness,
// which the registry does not tell.
OsFacts OsFactsFromRegistryValues(const OsRegistryValues& values, bool is_64bit);

// The flag one ProductSuite string names; 0 for an unknown name.
uint16_t SuiteFlagForName(const std::wstring& name);
// Leading decimal digits (after blanks and a sign) as a number; 0 when none.
int32_t ParseDecimal(const std::wstring& text);

// "Windows 10 x64", "Windows Server 2012 R2 x64", ... or "OsNotIdentified".
std::wstring GenericOsName(const OsFacts& facts);
// "Windows 10 version 21H2 x64", "Windows 7 SP1 x86", ... or "OsNotIdentified".
std::wstring DetailedOsName(const OsFacts& facts);

// True when (major, minor, service pack, build) is at least (10, 0, 0, 0).
bool IsWindows10OrLater(const OsFacts& facts);

// The list texts that name every version of their kind: a prerequisite with
// such a list applies nowhere.
extern const wchar_t kAllWindows64Versions[];
extern const wchar_t kAllWindows32Versions[];

// The list decision for a system with the given names: the 64-bit list on
// 64-bit Windows, the other one elsewhere; false (does not apply) when the list
// is the all-versions text or one of its ", "-separated items equals either
// name exactly; true otherwise, including for an empty list.
bool MatchesOsListsFor(const std::wstring& generic_name, const std::wstring& detailed_name,
                       bool is_64bit, const std::wstring& win_nt_versions,
                       const std::wstring& win_nt64_versions);

// Splits at every ", "; an empty text gives no items.
std::vector<std::wstring> SplitOsList(const std::wstring& list);
