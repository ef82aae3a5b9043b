#include "detect/msix_finder.h"

namespace {
// Asking the package manager needs the Windows Runtime on a worker thread of
// its own; until that is in place no package is ever reported as installed.
class MsixFinder : public IMsixFinder {
 public:
  std::wstring Find(const std::wstring&, const std::wstring&, const std::wstring&) override {
    return std::wstring();
  }
};
}  // namespace

IMsixFinder& GetSystemMsixFinder() {
  static MsixFinder finder;
  return finder;
}
