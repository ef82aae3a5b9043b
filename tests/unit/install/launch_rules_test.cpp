#include "install/launch_rules.h"

#include <gtest/gtest.h>

namespace {
TEST(QuietCommandLine, AnyQAfterDashOrSlash) {
  struct Case {
    const wchar_t* arguments;
    bool quiet;
  } cases[] = {
      {L"/qn", true},          {L"-q", true},        {L"--quiet", true}, {L"/norestart /qb", true},
      {L"/Q", false},          {L"/passive", false}, {L"", false},       {L"q", false},
      {L"/S /v\"/qn\"", true}, {L"-/-q", true},      {L"/ q", false},    {L"x-qy", true},
  };
  for (const Case& c : cases) EXPECT_EQ(IsQuietCommandLine(c.arguments), c.quiet) << c.arguments;
}

TEST(SetupKind, ByExtensionOfTheLastComponent) {
  EXPECT_TRUE(IsStorePackage(L"C:\\p\\Setup.MSIX"));
  EXPECT_TRUE(IsStorePackage(L"C:\\p\\a.msixbundle"));
  EXPECT_TRUE(IsStorePackage(L"\\\\?\\C:\\p\\a.AppX"));
  EXPECT_FALSE(IsStorePackage(L"C:\\p\\Setup.appxbundle"));
  EXPECT_FALSE(IsStorePackage(L"C:\\p.msix\\setup"));
  EXPECT_FALSE(IsStorePackage(L"C:\\p\\msix"));
  EXPECT_EQ(FileExtension(L"C:\\a.b\\c.tar.gz"), L"gz");
  EXPECT_EQ(FileExtension(L"C:\\a.b\\c"), L"");
  EXPECT_TRUE(IsWindowsInstallerPackage(L"C:\\x\\Y.MSI"));
  EXPECT_FALSE(IsWindowsInstallerPackage(L"C:\\x\\y.msix"));
}

TEST(DirectLaunch, MsiGoesThroughMsiexecAndOtherFilesStartThemselves) {
  DirectLaunch msi = DirectLaunchFor(L"C:\\p\\x.msi", L"/qn", L"C:\\Windows\\system32\\");
  EXPECT_EQ(msi.application, L"C:\\Windows\\system32\\msiexec.exe");
  EXPECT_EQ(msi.command_line, L" /i \"C:\\p\\x.msi\" /qn");

  DirectLaunch prefixed = DirectLaunchFor(L"\\\\?\\C:\\p\\x.msi", L" /qn", L"S\\");
  EXPECT_EQ(prefixed.command_line,
            L" /i \"C:\\p\\x.msi\" /qn");  // the prefix never reaches msiexec

  DirectLaunch exe = DirectLaunchFor(L"C:\\p\\setup.exe", L"", L"S\\");
  EXPECT_EQ(exe.application, L"C:\\p\\setup.exe");
  EXPECT_EQ(exe.command_line, L"\"C:\\p\\setup.exe\" ");
  EXPECT_EQ(DirectLaunchFor(L"C:\\p\\setup.exe", L"/S", L"S\\").command_line,
            L"\"C:\\p\\setup.exe\"  /S");
}
}  // namespace
