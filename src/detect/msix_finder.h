// The version of an installed store (MSIX/AppX) package, behind a one-method
// seam: the Windows package manager cannot be run in a test.
#pragma once
#include <string>

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
