#include "core/chainer_config.h"

#include <gtest/gtest.h>

namespace {
ChainerConfig Load(const std::wstring& text, const PropertyExpander& expand = nullptr) {
  IniDocument doc;
  doc.Parse(text);
  ChainerConfig config;
  config.LoadConfiguration(doc, expand);
  return config;
}

TEST(ParseInteger, FollowsTheLenientDecimalRule) {
  struct Case {
    const wchar_t* text;
    int32_t expected;
  } cases[] = {
      {L"  -12abc", -12},
      {L"+7", 7},
      {L"x1", 0},
      {L"", 0},
      {L"-+5", -5},
      {L"+-5", 0},
      {L"\t5", 0},
      {L"  42  ", 42},
      {L"007", 7},
      {L"2147483647", 2147483647},
      {L"2147483648", INT32_MIN},  // wraps around in 32 bits
      {L"4294967297", 1},
      {L"-0", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseInteger(c.text), c.expected) << c.text;
}

TEST(GeneralOptions, AllKeysLoadAndMissingSectionGivesDefaults) {
  ChainerConfig config = Load(
      L"[GeneralOptions]\r\nMainAppCmdLine=/a\r\nOptions=qb\r\nUpdatesUrl=u\r\n"
      L"ProductVersion=1.2\r\nMinWIVer=3.1\r\nDownloadFolder=C:\\D\r\nMainAppURL=m\r\n"
      L"UwpAppxURL=w\r\nLanguageList=1033\r\nExtractionFolder=C:/X/y\r\nKeepFiles=prereqs\r\n"
      L"PackJars=TRUE\r\nAllPlatforms=true\r\nIs64PlatformTransf=yes\r\nLangs=en\r\n"
      L"PackageCode=pc\r\nDefaultProdCode={D}\r\nProductCode={P}\r\nUpgradeCode={U}\r\n"
      L"ExtUIStub=stub.exe\r\nSaveExtUIStub=s\r\nFileExtractFirst=f\r\nMsiCertData=c\r\n"
      L"AppxVersion=1.0\r\nAppxPkId=id\r\n");
  const GeneralOptions& g = config.general;
  EXPECT_EQ(g.main_app_cmd_line, L"/a");
  EXPECT_EQ(g.options, L"qb");
  EXPECT_EQ(g.updates_url, L"u");
  EXPECT_EQ(g.product_version, L"1.2");
  EXPECT_EQ(g.min_wi_version, L"3.1");
  EXPECT_EQ(g.download_folder, L"C:\\D");
  EXPECT_EQ(g.main_app_url, L"m");
  EXPECT_EQ(g.uwp_appx_url, L"w");
  EXPECT_EQ(g.language_list, L"1033");
  EXPECT_EQ(g.extraction_folder, L"C:\\X\\y\\");
  EXPECT_EQ(g.keep_files, KeepFiles::Prereqs);
  EXPECT_TRUE(g.pack_jars);
  EXPECT_TRUE(g.all_platforms);
  EXPECT_FALSE(g.is64_platform_transform);
  EXPECT_EQ(g.langs, L"en");
  EXPECT_EQ(g.package_code, L"pc");
  EXPECT_EQ(g.default_product_code, L"{D}");
  EXPECT_EQ(g.product_code, L"{P}");
  EXPECT_EQ(g.upgrade_code, L"{U}");
  EXPECT_TRUE(g.has_ext_ui_stub);
  EXPECT_EQ(g.save_ext_ui_stub, L"s");
  EXPECT_EQ(g.file_extract_first, L"f");
  EXPECT_EQ(g.msi_cert_data, L"c");
  EXPECT_EQ(g.appx_version, L"1.0");
  EXPECT_EQ(g.appx_package_id, L"id");

  ChainerConfig empty = Load(L"[Other]\r\nOptions=q\r\n");
  EXPECT_TRUE(empty.general.options.empty());
  EXPECT_EQ(empty.general.keep_files, KeepFiles::None);
  EXPECT_FALSE(empty.general.has_ext_ui_stub);
  EXPECT_TRUE(empty.prerequisites.empty());
}

TEST(GeneralOptions, FirstSectionAndFirstEntryWin) {
  ChainerConfig config = Load(
      L"[GeneralOptions]\r\nOptions=b\r\nOptions=q\r\n[GeneralOptions]\r\nDownloadFolder=D\r\n");
  EXPECT_EQ(config.general.options, L"b");
  EXPECT_TRUE(config.general.download_folder.empty());
}

TEST(GeneralOptions, KeepFilesIsExactAndExtUiStubNeedsAValue) {
  struct Case {
    const wchar_t* text;
    KeepFiles expected;
  } cases[] = {{L"minimum", KeepFiles::Minimum}, {L"complete", KeepFiles::Complete},
               {L"prereqs", KeepFiles::Prereqs}, {L"Complete", KeepFiles::None},
               {L"5", KeepFiles::None},          {L"", KeepFiles::None}};
  for (const Case& c : cases) EXPECT_EQ(ParseKeepFiles(c.text), c.expected) << c.text;

  EXPECT_FALSE(Load(L"[GeneralOptions]\r\nExtUIStub=\r\n").general.has_ext_ui_stub);
  EXPECT_TRUE(Load(L"[GeneralOptions]\r\nExtractionFolder=\r\n").general.extraction_folder.empty());
}

const wchar_t kTwoPrerequisites[] =
    L"[PREREQUISITES]\r\nApp1=Runtime A\r\nApp2=Runtime B\r\n"
    L"[Runtime A]\r\nVerMin=1.0\r\nVerMax=2.0\r\nWinNTVersions=Windows XP x86\r\n"
    L"WinNT64Versions=Windows 7 x64\r\nSetupFile=a.exe\r\nUrl=http://x/a.exe\r\nExactSize=1024\r\n"
    L"MD5=abc\r\nOperator=1\r\nCommandLine=/full\r\nBasicUiCommandLine=/basic\r\n"
    L"NoUiCommandLine=/q\r\nOptions=mr\r\nRetValPropName=RET_A\r\nParentPrereq=Runtime B\r\n"
    L"Folder=sub\r\nLanguageList=1033;1031\r\n"
    L"SearchType1=2\r\nSearchString1=HKLM\\Software\\A\\Version\r\nVerMin1=1.0\r\n"
    L"VerMax1=1.9\r\nRefContent1=Mx\r\nSearchCmdLine1=/check\r\n"
    L"SearchType2=5\r\nSearchString2=HKLM\\Software\\A\r\n"
    L"[Runtime B]\r\nOpenSite=http://example.invalid/b\r\nUrl=http://x/b.exe\r\n";

TEST(Prerequisites, EveryKeyFillsItsField) {
  ChainerConfig config = Load(kTwoPrerequisites);
  ASSERT_EQ(config.prerequisites.size(), 2u);
  const Prerequisite& a = config.prerequisites[0];
  EXPECT_EQ(a.name, L"Runtime A");
  EXPECT_EQ(a.ver_min, L"1.0");
  EXPECT_EQ(a.ver_max, L"2.0");
  EXPECT_EQ(a.win_nt_versions, L"Windows XP x86");
  EXPECT_EQ(a.win_nt64_versions, L"Windows 7 x64");
  EXPECT_EQ(a.source, L"a.exe");  // SetupFile wins over Url
  EXPECT_EQ(a.source_kind, SourceKind::SetupFile);
  EXPECT_EQ(a.exact_size, 1024);
  EXPECT_EQ(a.md5, L"abc");
  EXPECT_EQ(a.search_operator, 1);
  EXPECT_EQ(a.command_line, L"/full");
  EXPECT_EQ(a.basic_ui_command_line, L"/basic");
  EXPECT_EQ(a.no_ui_command_line, L"/q");
  EXPECT_EQ(a.options, L"mr");
  EXPECT_EQ(a.ret_val_prop_name, L"RET_A");
  EXPECT_EQ(a.parent_prereq, L"Runtime B");
  EXPECT_EQ(a.folder, L"sub");
  EXPECT_EQ(a.language_list, L"1033;1031;");  // completed with its terminator
  EXPECT_FALSE(a.skip_search);
  EXPECT_EQ(a.state, DetectionState::Undetermined);
  EXPECT_EQ(a.first_state, DetectionState::Undetermined);
  ASSERT_EQ(a.searches.size(), 2u);
  EXPECT_EQ(a.searches[0].type, 2);
  EXPECT_EQ(a.searches[0].search_string, L"HKLM\\Software\\A\\Version");
  EXPECT_EQ(a.searches[0].ver_min, L"1.0");
  EXPECT_EQ(a.searches[0].ver_max, L"1.9");
  EXPECT_EQ(a.searches[0].ref_content, L"Mx");
  EXPECT_EQ(a.searches[0].search_cmd_line, L"/check");
  EXPECT_EQ(a.searches[1].type, 5);
  EXPECT_TRUE(a.searches[1].ver_min.empty());

  const Prerequisite& b = config.prerequisites[1];
  EXPECT_EQ(b.source, L"http://example.invalid/b");  // OpenSite wins over Url
  EXPECT_EQ(b.source_kind, SourceKind::OpenSite);
  EXPECT_TRUE(b.searches.empty());
  EXPECT_TRUE(b.language_list.empty());
}

TEST(Prerequisites, ListEndsAtTheFirstGapOrIncompleteRecord) {
  // App3 is missing: App4 is never read.
  ChainerConfig gap = Load(
      L"[PREREQUISITES]\r\nApp1=A\r\nApp2=B\r\nApp4=D\r\n[A]\r\nUrl=u\r\n[B]\r\nUrl=u\r\n"
      L"[D]\r\nUrl=u\r\n");
  EXPECT_EQ(gap.prerequisites.size(), 2u);

  // No source at all ends the list at that prerequisite.
  EXPECT_EQ(Load(L"[PREREQUISITES]\r\nApp1=A\r\nApp2=B\r\n[A]\r\nUrl=u\r\n[B]\r\nFolder=f\r\n")
                .prerequisites.size(),
            1u);
  // A search type without its search string ends it too.
  EXPECT_EQ(Load(L"[PREREQUISITES]\r\nApp1=A\r\nApp2=B\r\n[A]\r\nUrl=u\r\n[B]\r\nUrl=u\r\n"
                 L"SearchType1=1\r\nSearchString1=k\r\nSearchType2=1\r\n")
                .prerequisites.size(),
            1u);
  // A section named after the prerequisite must exist.
  EXPECT_TRUE(Load(L"[PREREQUISITES]\r\nApp1=A\r\n").prerequisites.empty());
  EXPECT_TRUE(Load(L"[A]\r\nUrl=u\r\n").prerequisites.empty());
}

TEST(Prerequisites, SearchesStopAtTheFirstMissingType) {
  ChainerConfig config = Load(
      L"[PREREQUISITES]\r\nApp1=A\r\n[A]\r\nUrl=u\r\nSearchType1=0\r\nSearchString1=f\r\n"
      L"SearchType3=0\r\nSearchString3=g\r\n");
  ASSERT_EQ(config.prerequisites.size(), 1u);
  EXPECT_EQ(config.prerequisites[0].searches.size(), 1u);
}

TEST(Prerequisites, CompletionResolvesOnlySiteAndUrlSourcesAndSetsSkip) {
  std::vector<std::pair<std::wstring, bool>> asked;
  PropertyExpander expand = [&](const std::wstring& text, bool wow64) {
    asked.emplace_back(text, wow64);
    return L"<" + text + L">";
  };
  ChainerConfig config = Load(
      L"[PREREQUISITES]\r\nApp1=A\r\nApp2=B\r\nApp3=C\r\n"
      L"[A]\r\nSetupFile=[TempFolder]a.exe\r\nOptions=i\r\n"
      L"[B]\r\nUrl=[TempFolder]b.exe\r\nOptions=x\r\nLanguageList=1033;\r\n"
      L"[C]\r\nOpenSite=%SITE%\r\nOptions=I\r\n",
      expand);
  ASSERT_EQ(config.prerequisites.size(), 3u);
  EXPECT_EQ(config.prerequisites[0].source, L"[TempFolder]a.exe");
  EXPECT_TRUE(config.prerequisites[0].skip_search);
  EXPECT_EQ(config.prerequisites[1].source, L"<[TempFolder]b.exe>");
  EXPECT_EQ(config.prerequisites[1].language_list, L"1033;");
  EXPECT_EQ(config.prerequisites[2].source, L"<%SITE%>");
  EXPECT_FALSE(config.prerequisites[2].skip_search);  // letters are case-sensitive
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_TRUE(asked[0].second);  // "x" asks for the 64-bit view
  EXPECT_FALSE(asked[1].second);
}

TEST(ChainerSection, ReadsItsFourKeysOrReportsItsAbsence) {
  IniDocument doc;
  doc.Parse(
      L"[PREREQ_CHAINER]\r\nCleanupFiles=C:\\a\x0001"
      L"C:\\b\r\nCleanupFolders=C:\\T\r\nLogFile=C:\\l.log\r\nCleanupScript=C:\\s.ps1\r\n");
  ChainerSection section;
  ASSERT_TRUE(LoadChainerSection(doc, &section));
  EXPECT_EQ(section.cleanup_files, std::wstring(L"C:\\a\x0001") + L"C:\\b");
  EXPECT_EQ(section.cleanup_folders, L"C:\\T");
  EXPECT_EQ(section.log_file, L"C:\\l.log");
  EXPECT_EQ(section.cleanup_script, L"C:\\s.ps1");

  doc.Parse(L"[prereq_chainer]\r\nLogFile=x\r\n");
  ChainerSection missing;
  EXPECT_FALSE(LoadChainerSection(doc, &missing));
  EXPECT_TRUE(missing.log_file.empty());
}
}  // namespace
