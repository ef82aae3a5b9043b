#include "detect/os_names.h"

#include <gtest/gtest.h>

#include <climits>

namespace {
OsFacts Facts(int major, int minor, int build, int sp, bool server, bool x64) {
  OsFacts facts;
  facts.major = major;
  facts.minor = minor;
  facts.build = build;
  facts.service_pack = sp;
  facts.is_server = server;
  facts.product_type = server ? 3 : 1;
  facts.is_64bit = x64;
  return facts;
}

constexpr bool kServer = true, kWorkstation = false, kX64 = true, kX86 = false;

struct NameCase {
  int major, minor, build, sp;
  bool server, x64;
  const wchar_t* generic;
  const wchar_t* detailed;
};

// Every row of both tables, with the 32-bit server (which takes the
// workstation name) and the bitness endings.
const NameCase kNameCases[] = {
    {11, 0, 22000, 0, kWorkstation, kX64, L"Windows 11 x64", L"Windows 11 version 21H2 x64"},
    {11, 0, 22621, 0, kWorkstation, kX64, L"Windows 11 x64",
     L"Windows 11 version 22H2 x64 (Preview)"},
    {11, 0, 22631, 0, kWorkstation, kX64, L"Windows 11 x64", L"Windows 11 x64"},
    {11, 0, 22000, 0, kServer, kX64, L"Windows Server x64", L"Windows 11 version 21H2 x64"},
    {11, 0, 26100, 0, kServer, kX64, L"Windows Server x64", L"Windows Server x64"},
    {11, 0, 26100, 0, kServer, kX86, L"Windows 11 x64", L"Windows 11 x64"},
    {11, 0, 26100, 0, kWorkstation, kX86, L"Windows 11 x64", L"Windows 11 x64"},
    {10, 0, 10240, 0, kWorkstation, kX86, L"Windows 10 x86", L"Windows 10 version 1507 x86"},
    {10, 0, 10240, 0, kWorkstation, kX64, L"Windows 10 x64", L"Windows 10 version 1507 x64"},
    {10, 0, 10586, 0, kServer, kX64, L"Windows Server x64", L"Windows 10 version 1511 x64"},
    {10, 0, 14393, 0, kWorkstation, kX64, L"Windows 10 x64", L"Windows 10 version 1607 x64"},
    {10, 0, 14393, 0, kServer, kX86, L"Windows 10 x86", L"Windows 10 version 1607 x86"},
    {10, 0, 14393, 0, kServer, kX64, L"Windows Server x64", L"Windows Server 2016 x64"},
    {10, 0, 15063, 0, kWorkstation, kX86, L"Windows 10 x86", L"Windows 10 version 1703 x86"},
    {10, 0, 16299, 0, kWorkstation, kX64, L"Windows 10 x64", L"Windows 10 version 1709 x64"},
    {10, 0, 17134, 0, kWorkstation, kX64, L"Windows 10 x64", L"Windows 10 version 1803 x64"},
    {10, 0, 17763, 0, kWorkstation, kX64, L"Windows 10 x64", L"Windows 10 version 1809 x64"},
    {10, 0, 17763, 0, kServer, kX86, L"Windows 10 x86", L"Windows 10 version 1809 x86"},
    {10, 0, 17763, 0, kServer, kX64, L"Windows Server x64", L"Windows Server 2019 x64"},
    {10, 0, 18362, 0, kWorkstation, kX64, L"Windows 10 x64", L"Windows 10 version 1903 x64"},
    {10, 0, 18363, 0, kWorkstation, kX86, L"Windows 10 x86", L"Windows 10 version 1909 x86"},
    {10, 0, 19041, 0, kWorkstation, kX64, L"Windows 10 x64", L"Windows 10 version 2004 x64"},
    {10, 0, 19042, 0, kWorkstation, kX64, L"Windows 10 x64", L"Windows 10 version 20H2 x64"},
    {10, 0, 19043, 0, kWorkstation, kX64, L"Windows 10 x64", L"Windows 10 version 21H1 x64"},
    {10, 0, 19044, 0, kWorkstation, kX86, L"Windows 10 x86", L"Windows 10 version 21H2 x86"},
    {10, 0, 19044, 0, kServer, kX64, L"Windows Server x64", L"Windows 10 version 21H2 x64"},
    {10, 0, 20348, 0, kServer, kX64, L"Windows Server x64", L"Windows Server 2022 x64"},
    {10, 0, 20348, 0, kWorkstation, kX64, L"Windows 10 x64", L"Windows 10 version 21H2 x64"},
    {10, 0, 20348, 0, kServer, kX86, L"Windows 10 x86", L"Windows 10 version 21H2 x86"},
    {10, 0, 19045, 0, kWorkstation, kX64, L"Windows 10 x64", L"Windows 10 x64"},
    {10, 0, 19045, 0, kServer, kX86, L"Windows 10 x86", L"Windows 10 x86"},
    {10, 0, 19045, 0, kServer, kX64, L"Windows Server x64", L"Windows Server x64"},
    {6, 3, 9600, 0, kWorkstation, kX86, L"Windows 8.1 x86", L"Windows 8.1 x86"},
    {6, 3, 9600, 0, kServer, kX86, L"Windows 8.1 x86", L"Windows 8.1 x86"},
    {6, 3, 9600, 0, kServer, kX64, L"Windows Server 2012 R2 x64", L"Windows Server 2012 R2 x64"},
    {6, 2, 9200, 0, kWorkstation, kX64, L"Windows 8 x64", L"Windows 8 x64"},
    {6, 2, 9200, 0, kServer, kX64, L"Windows Server 2012 x64", L"Windows Server 2012 x64"},
    {6, 1, 7600, 0, kServer, kX64, L"Windows Server 2008 R2 x64",
     L"Windows Server 2008 R2 RTM x64"},
    {6, 1, 7601, 1, kServer, kX64, L"Windows Server 2008 R2 x64",
     L"Windows Server 2008 R2 SP1 x64"},
    {6, 1, 7601, 2, kServer, kX64, L"Windows Server 2008 R2 x64", L"Windows Server 2008 R2 x64"},
    {6, 1, 7600, 0, kWorkstation, kX86, L"Windows 7 x86", L"Windows 7 RTM x86"},
    {6, 1, 7601, 1, kWorkstation, kX64, L"Windows 7 x64", L"Windows 7 SP1 x64"},
    {6, 1, 7601, 1, kServer, kX86, L"Windows 7 x86", L"Windows 7 SP1 x86"},
    {6, 1, 7601, 2, kWorkstation, kX64, L"Windows 7 x64", L"Windows 7 x64"},
    {6, 0, 6000, 0, kWorkstation, kX86, L"Windows Vista x86", L"Windows Vista RTM x86"},
    {6, 0, 6001, 1, kWorkstation, kX64, L"Windows Vista x64", L"Windows Vista SP1 x64"},
    {6, 0, 6002, 2, kWorkstation, kX86, L"Windows Vista x86", L"Windows Vista SP2 x86"},
    {6, 0, 6003, 3, kWorkstation, kX64, L"Windows Vista x64", L"Windows Vista x64"},
    {6, 0, 6001, 0, kServer, kX86, L"Windows Server 2008 x86", L"Windows Server 2008 RTM x86"},
    {6, 0, 6001, 1, kServer, kX64, L"Windows Server 2008 x64", L"Windows Server 2008 RTM x64"},
    {6, 0, 6002, 2, kServer, kX64, L"Windows Server 2008 x64", L"Windows Server 2008 SP2 x64"},
    {6, 0, 6003, 3, kServer, kX86, L"Windows Server 2008 x86", L"Windows Server 2008 x86"},
    {5, 1, 2600, 0, kWorkstation, kX86, L"Windows XP x86", L"Windows XP x86"},
    {5, 1, 2600, 1, kWorkstation, kX86, L"Windows XP x86", L"Windows XP SP1 x86"},
    {5, 1, 2600, 2, kWorkstation, kX86, L"Windows XP x86", L"Windows XP SP2 x86"},
    {5, 1, 2600, 3, kWorkstation, kX64, L"Windows XP x86", L"Windows XP SP3 x86"},
    {5, 1, 2600, 4, kWorkstation, kX86, L"Windows XP x86", L"Windows XP x86"},
    {5, 2, 3790, 1, kWorkstation, kX64, L"Windows XP x64", L"Windows XP SP1 x64"},
    {5, 2, 3790, 2, kWorkstation, kX64, L"Windows XP x64", L"Windows XP SP2 x64"},
    {5, 2, 3790, 0, kWorkstation, kX64, L"Windows XP x64", L"Windows XP x64"},
    {5, 2, 3790, 1, kServer, kX86, L"Windows Server 2003 x86", L"Windows Server 2003 SP1 x86"},
    {5, 2, 3790, 2, kServer, kX64, L"Windows Server 2003 x64", L"Windows Server 2003 SP2 x64"},
    {5, 2, 3790, 0, kServer, kX64, L"Windows Server 2003 x64", L"Windows Server 2003 x64"},
    // Outside the tables.
    {0, 0, 0, 0, kWorkstation, kX86, L"OsNotIdentified", L"OsNotIdentified"},
    {5, 0, 2195, 4, kWorkstation, kX86, L"OsNotIdentified", L"OsNotIdentified"},
    {10, 1, 19044, 0, kWorkstation, kX64, L"OsNotIdentified", L"OsNotIdentified"},
    {11, 1, 22000, 0, kWorkstation, kX64, L"OsNotIdentified", L"OsNotIdentified"},
    {6, 4, 9841, 0, kWorkstation, kX64, L"OsNotIdentified", L"OsNotIdentified"},
    // A minor of 100 must not pass for the next major version.
    {10, 100, 22000, 0, kWorkstation, kX64, L"OsNotIdentified", L"OsNotIdentified"},
    {-1, 0, 0, 0, kWorkstation, kX64, L"OsNotIdentified", L"OsNotIdentified"},
};

TEST(OsNamesTest, EveryTableRow) {
  for (const NameCase& c : kNameCases) {
    OsFacts facts = Facts(c.major, c.minor, c.build, c.sp, c.server, c.x64);
    SCOPED_TRACE(testing::Message()
                 << c.major << "." << c.minor << "." << c.build << " SP" << c.sp
                 << (c.server ? " server" : " workstation") << (c.x64 ? " x64" : " x86"));
    EXPECT_EQ(c.generic, GenericOsName(facts));
    EXPECT_EQ(c.detailed, DetailedOsName(facts));
  }
}

TEST(OsNamesTest, FactsFromRegistryValues) {
  struct Case {
    const char* what;
    OsRegistryValues values;
    int major, minor, build, sp;
  };
  auto values = [](uint32_t major_number, const wchar_t* current_version, const wchar_t* build,
                   const wchar_t* csd) {
    OsRegistryValues v;
    v.major_number = major_number;
    v.current_version = current_version;
    v.build_number = build;
    v.csd_version = csd;
    return v;
  };
  const Case cases[] = {
      {"version text only", values(0, L"6.1", L"7601", L"Service Pack 1"), 6, 1, 7601, 1},
      {"XP SP3", values(0, L"5.1", L"2600", L"Service Pack 3"), 5, 1, 2600, 3},
      {"the number wins over the text", values(10, L"6.3", L"19044", L""), 10, 0, 19044, 0},
      {"text of four characters is no version", values(0, L"10.0", L"19044", L""), 0, 0, 19044, 0},
      {"text of five characters is no version", values(0, L"6.1.1", L"7601", L""), 0, 0, 7601, 0},
      {"build 22000 is Windows 11", values(10, L"6.3", L"22000", L""), 11, 0, 22000, 0},
      {"build 21999 is still Windows 10", values(10, L"6.3", L"21999", L""), 10, 0, 21999, 0},
      {"only major 10 becomes 11", values(0, L"6.3", L"22000", L""), 6, 3, 22000, 0},
      {"missing build", values(0, L"6.1", L"", L""), 6, 1, 0, 0},
      {"build with trailing text", values(0, L"6.1", L"7601.24544", L""), 6, 1, 7601, 0},
      // A letter at the end is no service-pack number (not 'a' - '0' = 49).
      {"service pack with a letter", values(0, L"5.1", L"2600", L"Service Pack 1a"), 5, 1, 2600, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OsFacts facts = OsFactsFromRegistryValues(c.values, true);
    EXPECT_EQ(c.major, facts.major);
    EXPECT_EQ(c.minor, facts.minor);
    EXPECT_EQ(c.build, facts.build);
    EXPECT_EQ(c.sp, facts.service_pack);
    EXPECT_EQ(c.values.csd_version, facts.csd_text);
    EXPECT_TRUE(facts.is_64bit);
  }
}

TEST(OsNamesTest, DefaultsWhenNothingIsRead) {
  OsFacts facts = OsFactsFromRegistryValues(OsRegistryValues(), false);
  EXPECT_EQ(0, facts.major);
  EXPECT_EQ(0, facts.minor);
  EXPECT_EQ(0, facts.build);
  EXPECT_EQ(0, facts.service_pack);
  EXPECT_EQ(1, facts.product_type);
  EXPECT_EQ(0, facts.suite_mask);
  EXPECT_FALSE(facts.is_server);
  EXPECT_FALSE(facts.is_64bit);
  EXPECT_EQ(1507, facts.release_id);
}

TEST(OsNamesTest, ReleaseIdAndServicePackText) {
  OsRegistryValues values;
  values.has_release_id = true;
  values.release_id = L"2009";
  values.csd_version = std::wstring(200, L'x') + L"3";
  OsFacts facts = OsFactsFromRegistryValues(values, false);
  EXPECT_EQ(2009, facts.release_id);
  // Kept to its 128 characters; the number comes from what is kept.
  EXPECT_EQ(std::wstring(128, L'x'), facts.csd_text);
  EXPECT_EQ(0, facts.service_pack);
}

TEST(OsNamesTest, ProductTypeAndSuite) {
  struct Case {
    bool has_type;
    const wchar_t* type;
    uint16_t product_type;
    bool server;
  };
  const Case cases[] = {
      {false, L"", 1, false},       {true, L"WinNT", 1, false}, {true, L"ServerNT", 3, true},
      {true, L"LanmanNT", 2, true}, {true, L"", 2, true},       {true, L"winnt", 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.has_type << " " << testing::PrintToString(c.type));
    OsRegistryValues values;
    values.has_product_type = c.has_type;
    values.product_type = c.type;
    OsFacts facts = OsFactsFromRegistryValues(values, false);
    EXPECT_EQ(c.product_type, facts.product_type);
    EXPECT_EQ(c.server, facts.is_server);
  }

  OsRegistryValues values;
  values.product_suite = {L"Small Business",
                          L"Enterprise",
                          L"BackOffice",
                          L"CommunicationServer",
                          L"Terminal Server",
                          L"Small Business(Restricted)",
                          L"EmbeddedNT",
                          L"DataCenter",
                          L"Personal",
                          L"Blade",
                          L"Embedded(Restricted)",
                          L"Security Appliance",
                          L"Storage Server",
                          L"Compute Server"};
  EXPECT_EQ(0x7FFF & ~0x100, OsFactsFromRegistryValues(values, false).suite_mask);
  values.product_suite = {L"Terminal Server", L"enterprise", L"Unknown", L"", L"DataCenter"};
  EXPECT_EQ(kSuiteTerminal | kSuiteDataCenter, OsFactsFromRegistryValues(values, false).suite_mask);
}

TEST(OsNamesTest, ParseDecimal) {
  EXPECT_EQ(7601, ParseDecimal(L"7601"));
  EXPECT_EQ(0, ParseDecimal(L""));
  EXPECT_EQ(0, ParseDecimal(L"abc"));
  EXPECT_EQ(42, ParseDecimal(L" 42x"));
  EXPECT_EQ(-5, ParseDecimal(L"-5"));
  EXPECT_EQ(INT_MAX, ParseDecimal(L"99999999999999999999"));
}

TEST(OsNamesTest, Windows10OrLater) {
  EXPECT_TRUE(IsWindows10OrLater(Facts(10, 0, 0, 0, false, false)));
  EXPECT_TRUE(IsWindows10OrLater(Facts(10, 0, 19044, 0, false, true)));
  EXPECT_TRUE(IsWindows10OrLater(Facts(11, 0, 22000, 0, false, true)));
  EXPECT_FALSE(IsWindows10OrLater(Facts(6, 3, 9600, 0, false, true)));
  EXPECT_FALSE(IsWindows10OrLater(Facts(9, 9, 99999, 9, false, true)));
  EXPECT_FALSE(IsWindows10OrLater(OsFacts()));
}

TEST(OsNamesTest, SplitOsList) {
  EXPECT_TRUE(SplitOsList(L"").empty());
  EXPECT_EQ((std::vector<std::wstring>{L"a"}), SplitOsList(L"a"));
  EXPECT_EQ((std::vector<std::wstring>{L"a", L"b c", L""}), SplitOsList(L"a, b c, "));
  // Only comma-and-blank separates.
  EXPECT_EQ((std::vector<std::wstring>{L"a,b", L" c"}), SplitOsList(L"a,b,  c"));
}

TEST(OsNamesTest, MatchesOsLists) {
  const std::wstring win7_generic = L"Windows 7 x64", win7_detailed = L"Windows 7 SP1 x64";
  struct Case {
    const char* what;
    bool x64;
    const wchar_t* nt;
    const wchar_t* nt64;
    bool applies;
  };
  const Case cases[] = {
      {"empty lists", true, L"", L"", true},
      {"generic name in a list of two", true, L"", L"Windows 7 x64, Windows 8 x64", false},
      {"detailed name alone", true, L"", L"Windows 7 SP1 x64", false},
      {"other systems only", true, L"", L"Windows 8 x64, Windows 7 RTM x64", true},
      {"only the 64-bit list counts on 64-bit", true, L"Windows 7 x64", L"Windows 8 x64", true},
      {"comparison is case-sensitive", true, L"", L"windows 7 x64", true},
      {"separator must be comma and blank", true, L"", L"Windows 8 x64,Windows 7 x64", true},
      {"all 64-bit versions", true, L"", kAllWindows64Versions, false},
      {"all 32-bit versions in the 64-bit list is just text", true, L"", kAllWindows32Versions,
       true},
      {"all versions with a blank more", true, L"",
       L"Windows XP/Vista/Windows 7/Windows 8 x64/Windows 8.1 x64/Windows 10 x64/Windows 11 x64 ",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.applies, MatchesOsListsFor(win7_generic, win7_detailed, c.x64, c.nt, c.nt64));
  }

  // On 32-bit Windows only the first list matters, whatever the other holds.
  const std::wstring x86_generic = L"Windows 7 x86", x86_detailed = L"Windows 7 SP1 x86";
  EXPECT_TRUE(MatchesOsListsFor(x86_generic, x86_detailed, false, L"", L"Windows 7 x86"));
  EXPECT_TRUE(MatchesOsListsFor(x86_generic, x86_detailed, false, L"", kAllWindows64Versions));
  EXPECT_FALSE(MatchesOsListsFor(x86_generic, x86_detailed, false, L"Windows 7 SP1 x86", L""));
  EXPECT_FALSE(MatchesOsListsFor(x86_generic, x86_detailed, false, kAllWindows32Versions, L""));
}
}  // namespace
