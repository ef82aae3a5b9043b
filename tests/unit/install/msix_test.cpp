// Store packages: the decisions on the package manager's answers, and the
// real package manager path on a system that has none (Wine, Windows 7).
#include <gtest/gtest.h>

#include <vector>

#include "detect/msix_finder.h"
#include "install/msix_installer.h"
#include "install/msix_rules.h"
#include "install/setup_launcher.h"
#include "util/system_library.h"

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

TEST(MsixRules, PathsBecomeEscapedFileUris) {
  const struct {
    const wchar_t* path;
    const wchar_t* uri;
  } table[] = {
      {L"C:\\Setup Files\\App.msix", L"file:///C:/Setup%20Files/App.msix"},
      {L"C:\\a#1\\100%\\b;c=d(1).msix", L"file:///C:/a%231/100%25/b;c=d(1).msix"},
      {L"C:\\Caf\u00e9\\\u65e5\\\U0001F600.msix",
       L"file:///C:/Caf%C3%A9/%E6%97%A5/%F0%9F%98%80.msix"},
      {L"C:\\what?\\[x]{y}\\a`b|c^.msix", L"file:///C:/what%3F/%5Bx%5D%7By%7D/a%60b%7Cc%5E.msix"},
      {L"\\\\server\\share\\x", L"file://server/share/x"},
      {L"\\\\server\\my share\\x#.msix", L"file://server/my%20share/x%23.msix"},
  };
  for (const auto& row : table) EXPECT_EQ(FileUriOfPath(row.path), row.uri) << row.path;
  // Half a surrogate pair is no character: the replacement character's bytes.
  EXPECT_EQ(FileUriOfPath(std::wstring(L"C:\\a") + wchar_t(0xD800) + L"b"),
            L"file:///C:/a%EF%BF%BDb");
}

TEST(MsixRules, FailureLineNamesTheDeploymentsOwnCodeAndText) {
  // No deployment result: the failing call's code alone.
  EXPECT_EQ(StorePackageFailureLine(0x80040154u, 0, L""),
            L"Store package not installed. Error:0x80040154");
  EXPECT_EQ(StorePackageFailureLine(0x80004005u, 0x80073CF3u,
                                    L"Package failed updates.\r\nThe dependency is missing.\r\n"),
            L"Store package not installed. Error:0x80073CF3 Package failed updates.  The "
            L"dependency is missing.");
  // A success code in the result says nothing more than the failure did.
  EXPECT_EQ(StorePackageFailureLine(0x80004005u, 0, L"Cancelled."),
            L"Store package not installed. Error:0x80004005 Cancelled.");
}

// Stand-ins for the package manager's iterator, packages and identities;
// owned by the test, so Release never frees them.
template <typename Interface>
struct Fake : Interface {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetIids(ULONG*, IID**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel*) override { return E_NOTIMPL; }
};

HRESULT MakeText(const wchar_t* text, HSTRING* out) {
  void* made = nullptr;
  const HRESULT hr = CombaseDll()->WindowsCreateString(text, static_cast<UINT32>(wcslen(text)), &made);
  *out = static_cast<HSTRING>(made);
  return hr;
}

struct FakeId : Fake<winrt_abi::IPackageId> {
  HRESULT STDMETHODCALLTYPE get_Name(HSTRING* out) override {
    return FAILED(name_failure) ? name_failure : MakeText(name, out);
  }
  HRESULT STDMETHODCALLTYPE get_Version(winrt_abi::PackageVersion* out) override {
    *out = {2, 5, 0, 0};
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Architecture(int32_t* out) override {
    *out = 9;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE unused_get_ResourceId() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Publisher(HSTRING* out) override { return MakeText(L"CN=C", out); }
  const wchar_t* name = L"";
  HRESULT name_failure = S_OK;
};

struct FakePackage : Fake<winrt_abi::IPackage> {
  HRESULT STDMETHODCALLTYPE get_Id(winrt_abi::IPackageId** out) override {
    *out = FAILED(id_failure) ? nullptr : &id;
    return id_failure;
  }
  FakeId id;
  HRESULT id_failure = S_OK;
};

struct FakeIterator : Fake<winrt_abi::IPackageIterator> {
  HRESULT STDMETHODCALLTYPE get_Current(winrt_abi::IPackage** out) override {
    *out = packages[at];
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_HasCurrent(boolean* out) override {
    *out = at < packages.size();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE MoveNext(boolean* out) override {
    ++at;
    if (at == fail_at) return E_UNEXPECTED;
    return get_HasCurrent(out);
  }
  std::vector<winrt_abi::IPackage*> packages;
  size_t at = 0;
  size_t fail_at = 0;
};

// A package the system cannot describe is passed over, not the end of the
// search; only the iterator's own failure ends it.
TEST(MsixFinderWalk, UnreadablePackagesAreSkippedAndTheWantedOneStillFound) {
  ASSERT_NE(CombaseDll(), nullptr);
  FakePackage no_id, no_name, other, wanted;
  no_id.id_failure = E_ACCESSDENIED;
  no_name.id.name_failure = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
  other.id.name = L"Corvane.Other";
  wanted.id.name = L"Corvane.App";
  FakeIterator walk;
  walk.packages = {&no_id, &no_name, &other, &wanted};
  std::wstring version;
  EXPECT_EQ(FindMatchingPackage(&walk, L"Corvane.App", L"CN=C", L"x64", &version), S_OK);
  EXPECT_EQ(version, L"2.5");

  FakeIterator broken;
  broken.packages = {&no_id, &wanted};
  broken.fail_at = 1;
  version.clear();
  EXPECT_EQ(FindMatchingPackage(&broken, L"Corvane.App", L"", L"", &version), E_UNEXPECTED);
  EXPECT_EQ(version, L"");
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
