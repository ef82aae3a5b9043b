// The package manager's answers read the way the chainer needs them: which
// deployment counts as installed, what an installed package's identity is
// called, and which package a store-package search asks for. Pure.
#pragma once
#include <cstdint>
#include <string>

// Final status of a deployment operation (the Windows Runtime's AsyncStatus).
enum DeploymentStatus : int32_t {
  kDeploymentStarted = 0,
  kDeploymentCompleted = 1,
  kDeploymentCanceled = 2,
  kDeploymentError = 3,
};

// Only a completed operation installed the package; cancelled, failed and
// never-finished ones did not.
bool DeploymentSucceeded(int32_t status);

// The processor architecture of a package as a search names it: 11
// "neutral", 9 "x64", 0 "x86", 5 "arm", 12 "arm64"; empty for anything else.
std::wstring ArchitectureText(int32_t architecture);

struct StorePackageIdentity {
  std::wstring name;
  std::wstring publisher;
  int32_t architecture = -1;
  uint16_t version[4] = {};
};

// The name must equal exactly (case matters); publisher and architecture
// only when the search gives them, then exactly too.
bool PackageMatches(const StorePackageIdentity& package, const std::wstring& name,
                    const std::wstring& publisher, const std::wstring& architecture);

// The version the way collected versions are written: 1.2.0.0 gives "1.2".
std::wstring PackageVersionText(const StorePackageIdentity& package);

// The file: URI the package manager takes for a local path: "C:\dir\a b.msix"
// gives "file:///C:/dir/a%20b.msix", "\\server\share\a.msix" gives
// "file://server/share/a.msix". Backslashes become slashes; every character
// but letters, digits, "-._~", "!$&'()*+,;=:@" and the slashes is written as
// the percent escapes of its UTF-8 bytes ("#" %23, "%" %25, "e with acute" %C3%A9).
// The path has no long-path prefix.
std::wstring FileUriOfPath(const std::wstring& path);

// The log line of a store package that was not installed: the failing call's
// code, or for a deployment that ran and failed the package manager's extended
// error code, then its error text when it gave one.
std::wstring StorePackageFailureLine(uint32_t failure, uint32_t extended_code,
                                     const std::wstring& error_text);
