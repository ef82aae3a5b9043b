#include "detect/os_names.h"

#include <climits>
#include <tuple>

#include "util/decimal_text.h"

const wchar_t kAllWindows64Versions[] =
    L"Windows XP/Vista/Windows 7/Windows 8 x64/Windows 8.1 x64/Windows 10 x64/Windows 11 x64";
const wchar_t kAllWindows32Versions[] =
    L"Windows 9x/ME/NT/2000/XP/Vista/Windows 7/Windows 8 x86/Windows 8.1 x86/Windows 10 x86";

namespace {
const wchar_t kNotIdentified[] = L"OsNotIdentified";

struct SuiteName {
  const wchar_t* name;
  uint16_t flag;
};
const SuiteName kSuiteNames[] = {
    {L"Small Business", kSuiteSmallBusiness},
    {L"Enterprise", kSuiteEnterprise},
    {L"BackOffice", kSuiteBackOffice},
    {L"CommunicationServer", kSuiteCommunications},
    {L"Terminal Server", kSuiteTerminal},
    {L"Small Business(Restricted)", kSuiteSmallBusinessRestricted},
    {L"EmbeddedNT", kSuiteEmbeddedNt},
    {L"DataCenter", kSuiteDataCenter},
    {L"Personal", kSuitePersonal},
    {L"Blade", kSuiteBlade},
    {L"Embedded(Restricted)", kSuiteEmbeddedRestricted},
    {L"Security Appliance", kSuiteSecurityAppliance},
    {L"Storage Server", kSuiteStorageServer},
    {L"Compute Server", kSuiteComputeServer},
};

// The " x86" or " x64" ending that follows the bitness of Windows.
std::wstring WithArch(const wchar_t* base, const OsFacts& facts) {
  return std::wstring(base) + (facts.is_64bit ? L" x64" : L" x86");
}

// The rows whose condition reads "workstation or 32-bit" take their other
// name only on a 64-bit server.
bool IsServer64(const OsFacts& facts) {
  return facts.is_server && facts.is_64bit;
}

// Windows 10 builds that have a release name of their own.
struct Windows10Release {
  int32_t build;
  const wchar_t* name;
};
const Windows10Release kWindows10Releases[] = {
    {10240, L"Windows 10 version 1507"}, {10586, L"Windows 10 version 1511"},
    {14393, L"Windows 10 version 1607"}, {15063, L"Windows 10 version 1703"},
    {16299, L"Windows 10 version 1709"}, {17134, L"Windows 10 version 1803"},
    {17763, L"Windows 10 version 1809"}, {18362, L"Windows 10 version 1903"},
    {18363, L"Windows 10 version 1909"}, {19041, L"Windows 10 version 2004"},
    {19042, L"Windows 10 version 20H2"}, {19043, L"Windows 10 version 21H1"},
    {19044, L"Windows 10 version 21H2"},
};

std::wstring DetailedWindows10Name(const OsFacts& facts) {
  if (IsServer64(facts)) {
    if (facts.build == 14393) return L"Windows Server 2016 x64";
    if (facts.build == 17763) return L"Windows Server 2019 x64";
    if (facts.build == 20348) return L"Windows Server 2022 x64";
  }
  // Server 2022's build on anything but a 64-bit server reads as 21H2.
  const int32_t build = facts.build == 20348 ? 19044 : facts.build;
  for (const Windows10Release& release : kWindows10Releases) {
    if (release.build == build) return WithArch(release.name, facts);
  }
  return GenericOsName(facts);
}

// major * 100 + minor, or -1 for numbers no table row can name (so that a
// minor of 100 cannot pass for the next major version).
int32_t VersionKey(const OsFacts& facts) {
  if (facts.major < 0 || facts.major > 99 || facts.minor < 0 || facts.minor > 9) return -1;
  return facts.major * 100 + facts.minor;
}

std::wstring ServicePackName(const wchar_t* base, const wchar_t* arch_suffix, int32_t sp) {
  return std::wstring(base) + L" SP" + DecimalW(sp) + arch_suffix;
}
}  // namespace

uint16_t SuiteFlagForName(const std::wstring& name) {
  for (const SuiteName& suite : kSuiteNames) {
    if (name == suite.name) return suite.flag;
  }
  return 0;
}

int32_t ParseDecimal(const std::wstring& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    value = value * 10 + (text[i] - L'0');
    if (value > INT_MAX) {
      value = INT_MAX;  // a nonsense build number must not wrap into a known one
      break;
    }
  }
  return static_cast<int32_t>(negative ? -value : value);
}

OsFacts OsFactsFromRegistryValues(const OsRegistryValues& values, bool is_64bit) {
  OsFacts facts;
  facts.major = static_cast<int32_t>(values.major_number);
  facts.minor = static_cast<int32_t>(values.minor_number);
  // Before Windows 10 the version is only the text "major.minor".
  if (facts.major == 0 && values.current_version.size() == 3) {
    facts.major = values.current_version[0] - L'0';
    facts.minor = values.current_version[2] - L'0';
  }
  facts.build = ParseDecimal(values.build_number);
  // Windows 11 still calls itself 10.0; only the build tells them apart.
  if (facts.major == 10 && facts.build >= 22000) facts.major = 11;
  if (values.has_release_id) facts.release_id = ParseDecimal(values.release_id);

  facts.csd_text = values.csd_version.substr(0, kMaxCsdText);
  if (!facts.csd_text.empty()) {
    // "Service Pack 3" ends in its number. Anything else ("...1a", a stray
    // character) is no service-pack number at all rather than a wild one.
    wchar_t last = facts.csd_text.back();
    facts.service_pack = last >= L'0' && last <= L'9' ? last - L'0' : 0;
  }
  facts.is_64bit = is_64bit;

  if (values.has_product_type) {
    if (values.product_type == L"WinNT") {
      facts.product_type = 1;
      facts.is_server = false;
    } else if (values.product_type == L"ServerNT") {
      facts.product_type = 3;
      facts.is_server = true;
    } else {
      facts.product_type = 2;
      facts.is_server = true;
    }
  }
  for (const std::wstring& suite : values.product_suite)
    facts.suite_mask |= SuiteFlagForName(suite);
  return facts;
}

std::wstring GenericOsName(const OsFacts& facts) {
  const bool server64 = IsServer64(facts);
  switch (VersionKey(facts)) {
    case 1100:
      return server64 ? L"Windows Server x64" : L"Windows 11 x64";
    case 1000:
      return server64 ? L"Windows Server x64" : WithArch(L"Windows 10", facts);
    case 603:
      return server64 ? L"Windows Server 2012 R2 x64" : WithArch(L"Windows 8.1", facts);
    case 602:
      return server64 ? L"Windows Server 2012 x64" : WithArch(L"Windows 8", facts);
    case 601:
      return server64 ? L"Windows Server 2008 R2 x64" : WithArch(L"Windows 7", facts);
    case 600:
      return WithArch(facts.is_server ? L"Windows Server 2008" : L"Windows Vista", facts);
    case 501:
      return L"Windows XP x86";
    case 502:
      return facts.is_server ? WithArch(L"Windows Server 2003", facts) : L"Windows XP x64";
  }
  return kNotIdentified;
}

std::wstring DetailedOsName(const OsFacts& facts) {
  const int32_t sp = facts.service_pack;
  const wchar_t* arch = facts.is_64bit ? L" x64" : L" x86";
  switch (VersionKey(facts)) {
    case 1100:
      if (facts.build == 22000) return L"Windows 11 version 21H2 x64";
      if (facts.build == 22621) return L"Windows 11 version 22H2 x64 (Preview)";
      return GenericOsName(facts);
    case 1000:
      return DetailedWindows10Name(facts);
    case 603:
    case 602:
      return GenericOsName(facts);
    case 601:
      if (IsServer64(facts)) {
        if (sp == 0) return L"Windows Server 2008 R2 RTM x64";
        if (sp == 1) return L"Windows Server 2008 R2 SP1 x64";
        return L"Windows Server 2008 R2 x64";
      }
      if (sp == 0) return WithArch(L"Windows 7 RTM", facts);
      if (sp == 1) return WithArch(L"Windows 7 SP1", facts);
      return WithArch(L"Windows 7", facts);
    case 600:
      if (!facts.is_server) {
        if (sp == 0) return WithArch(L"Windows Vista RTM", facts);
        if (sp == 1 || sp == 2) return ServicePackName(L"Windows Vista", arch, sp);
        return WithArch(L"Windows Vista", facts);
      }
      // Server 2008 shipped at the service-pack level of Vista SP1.
      if (sp == 0 || sp == 1) return WithArch(L"Windows Server 2008 RTM", facts);
      if (sp == 2) return WithArch(L"Windows Server 2008 SP2", facts);
      return WithArch(L"Windows Server 2008", facts);
    case 501:
      if (sp >= 1 && sp <= 3) return ServicePackName(L"Windows XP", L" x86", sp);
      return L"Windows XP x86";
    case 502:
      if (!facts.is_server) {
        if (sp == 1 || sp == 2) return ServicePackName(L"Windows XP", L" x64", sp);
        return L"Windows XP x64";
      }
      if (sp == 1 || sp == 2) return ServicePackName(L"Windows Server 2003", arch, sp);
      return WithArch(L"Windows Server 2003", facts);
  }
  return kNotIdentified;
}

bool IsWindows10OrLater(const OsFacts& facts) {
  return std::make_tuple(facts.major, facts.minor, facts.service_pack, facts.build) >=
         std::make_tuple(10, 0, 0, 0);
}

std::vector<std::wstring> SplitOsList(const std::wstring& list) {
  std::vector<std::wstring> items;
  if (list.empty()) return items;
  size_t start = 0;
  for (;;) {
    size_t comma = list.find(L", ", start);
    items.push_back(list.substr(start, comma == std::wstring::npos ? comma : comma - start));
    if (comma == std::wstring::npos) return items;
    start = comma + 2;
  }
}

bool MatchesOsListsFor(const std::wstring& generic_name, const std::wstring& detailed_name,
                       bool is_64bit, const std::wstring& win_nt_versions,
                       const std::wstring& win_nt64_versions) {
  const std::wstring& list = is_64bit ? win_nt64_versions : win_nt_versions;
  if (list == (is_64bit ? kAllWindows64Versions : kAllWindows32Versions)) return false;
  for (const std::wstring& item : SplitOsList(list)) {
    if (item == detailed_name || item == generic_name) return false;
  }
  return true;
}
