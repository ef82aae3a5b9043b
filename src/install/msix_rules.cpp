#include "install/msix_rules.h"

#include "detect/version.h"

bool DeploymentSucceeded(int32_t status) {
  return status == kDeploymentCompleted;
}

std::wstring ArchitectureText(int32_t architecture) {
  switch (architecture) {
    case 0:
      return L"x86";
    case 5:
      return L"arm";
    case 9:
      return L"x64";
    case 11:
      return L"neutral";
    case 12:
      return L"arm64";
    default:
      return std::wstring();
  }
}

bool PackageMatches(const StorePackageIdentity& package, const std::wstring& name,
                    const std::wstring& publisher, const std::wstring& architecture) {
  if (package.name != name) return false;
  if (!publisher.empty() && package.publisher != publisher) return false;
  return architecture.empty() || ArchitectureText(package.architecture) == architecture;
}

std::wstring PackageVersionText(const StorePackageIdentity& package) {
  Version version;
  for (int i = 0; i < 4; ++i) version.components[i] = package.version[i];
  return FormatVersion(version);
}
