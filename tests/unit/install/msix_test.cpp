// Store packages: the decisions on the package manager's answers, and the
// real package manager path on a system that has none (Wine, Windows 7).
#include <gtest/gtest.h>

#include "install/msix_installer.h"
#include "install/msix_rules.h"
#include "install/setup_launcher.h"

namespace {
StorePackageIdentity Package(const wchar_t* name, const wchar_t* publisher, int32_t architecture,
                             uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
  StorePackageIdentity package;
  package.name = name;
  package.publisher = publisher;
  package.architecture = architecture;
  package.version[0] = a;
  package.version[1] = b;
  package.version[2] = c;
  package.version[3] = d;
  return package;
}

TEST(MsixRules, OnlyACompletedDeploymentInstalledThePackage) {
  EXPECT_TRUE(DeploymentSucceeded(kDeploymentCompleted));
  for (int32_t status : {0, 2, 3, 4, -1}) {
    EXPECT_FALSE(DeploymentSucceeded(status)) << status;
  }
}

TEST(MsixRules, ArchitectureNamesFollowTheProcessorValues) {
  const struct {
    int32_t value;
    const wchar_t* text;
  } table[] = {{11, L"neutral"}, {9, L"x64"}, {0, L"x86"}, {5, L"arm"},
               {12, L"arm64"},   {14, L""},   {65535, L""}, {-1, L""}};
  for (const auto& row : table) EXPECT_EQ(ArchitectureText(row.value), row.text) << row.value;
}

TEST(MsixRules, NameMustMatchExactlyPublisherAndArchitectureOnlyWhenGiven) {
  const StorePackageIdentity app = Package(L"Corvane.App", L"CN=Corvane", 9, 1, 2, 0, 0);
  EXPECT_TRUE(PackageMatches(app, L"Corvane.App", L"", L""));
  EXPECT_FALSE(PackageMatches(app, L"corvane.app", L"", L""));
  EXPECT_TRUE(PackageMatches(app, L"Corvane.App", L"CN=Corvane", L"x64"));
  EXPECT_FALSE(PackageMatches(app, L"Corvane.App", L"CN=corvane", L""));
  EXPECT_FALSE(PackageMatches(app, L"Corvane.App", L"", L"X64"));
  EXPECT_FALSE(PackageMatches(app, L"Corvane.App", L"", L"x86"));
  // An architecture the table does not name never matches a given one.
  EXPECT_FALSE(PackageMatches(Package(L"A", L"", 14, 1, 0, 0, 0), L"A", L"", L"x86"));
}

TEST(MsixRules, VersionsAreWrittenAsCollectedVersions) {
  EXPECT_EQ(PackageVersionText(Package(L"A", L"", 11, 1, 2, 0, 0)), L"1.2");
  EXPECT_EQ(PackageVersionText(Package(L"A", L"", 11, 10, 0, 19041, 7)), L"10.0.19041.7");
  EXPECT_EQ(PackageVersionText(Package(L"A", L"", 11, 3, 0, 0, 0)), L"3.0");
  EXPECT_EQ(PackageVersionText(Package(L"A", L"", 11, 0, 0, 0, 0)), L"0.0.0.0");
}

// Wine (like Windows 7) has no package manager: the installation must come
// back as a failure, not crash, not hang, not throw. (The finder's side is in
// the store package search test: it finds nothing.)
struct RealPackageManager : IStorePackageInstaller {
  uint32_t InstallStorePackage(const std::wstring& path) override {
    return ::InstallStorePackage(path, &last);
  }
  MsixInstaller last;
};

TEST(MsixWithoutPackageManager, InstallationFailsAndTheLauncherReports1627) {
  RealPackageManager store;
  SetupLauncher launcher(nullptr, nullptr, &store, nullptr);
  launcher.AddLaunchEntry(L"C:\\absent\\App.msix", L"", L"App", 0, 0, L"", 0);
  EXPECT_FALSE(launcher.LaunchSetup(0));
  EXPECT_EQ(launcher.entries[0].return_code, 1627u);
  EXPECT_FALSE(DeploymentSucceeded(store.last.status));
}
}  // namespace
