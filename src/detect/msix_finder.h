// The version of an installed store (MSIX/AppX) package, behind a one-method
// seam: the Windows package manager cannot be run in a test.
#pragma once
#include <string>

#include "install/winrt_abi.h"

class IMsixFinder {
 public:
  virtual ~IMsixFinder() = default;
  // The version of the first package installed for the current user whose
  // name matches exactly and, where given, whose publisher and architecture
  // ("neutral", "x86", "x64", "arm", "arm64") match too; empty when none does.
  virtual std::wstring Find(const std::wstring& name, const std::wstring& publisher,
                            const std::wstring& architecture) = 0;
};

// The finder of the running system. It lives until the process ends.
IMsixFinder& GetSystemMsixFinder();

// The walk of Find over the packages an iterator yields: the version of the
// first that matches, into *version (left as it is when none does). A package
// whose identity cannot be read is logged and skipped. S_OK, or the failure
// of the iterator itself.
HRESULT FindMatchingPackage(winrt_abi::IPackageIterator* packages, const std::wstring& name,
                            const std::wstring& publisher, const std::wstring& architecture,
                            std::wstring* version);
